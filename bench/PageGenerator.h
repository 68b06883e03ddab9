// Synthetic HTML pages for the benchmarks: deterministic for a seed, with the
// density of real pages (a tag every 40 to 50 bytes) and the awkward parts a
// filter meets in the wild: scripts with '<' in their code, comments, embedded
// objects, image maps and every quoting style.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zubench {

// A page of exactly `bytes` bytes.
std::string GeneratePage(size_t bytes, uint32_t seed);

// Pages of mixed sizes (8 KB to 256 KB) whose sizes add up to `totalBytes`.
std::vector<std::string> GenerateCorpus(size_t totalBytes, uint32_t seed);

} // namespace zubench
