// Cost of the revision service with a full real-world list loaded: how long
// the list takes to load, and the median and 99th percentile of one verdict
// over the images and frames of generated pages, of the docs corpus (with
// --docs) and of a synthetic mix of ad and ordinary URLs.
//
//   bench_revision [--list easylist.txt] [--docs DIR] [--rounds N] [--no-check]
//
// Without --list it runs tools/ZuRPCPrx/fetch-easylist for one.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "PageGenerator.h"
#include "RevisionService.h"

namespace {

using Clock = std::chrono::steady_clock;
using zurpc::TRevisionService;

[[noreturn]] void Fail(const std::string &what) {
  std::fprintf(stderr, "bench_revision: %s\n", what.c_str());
  std::exit(1);
}

inline void Keep(int v) { asm volatile("" : : "r"(v) : "memory"); }

std::string ReadFile(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    Fail("cannot read " + path.string());
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

struct TRequest {
  std::string Resource, Mime, Page, Link;
  int Width, Height;
};

bool StartsWithNoCase(const std::string &s, size_t at, const char *word) {
  for (size_t i = 0; word[i]; ++i)
    if (at + i >= s.size() || std::tolower(static_cast<unsigned char>(s[at + i])) != word[i])
      return false;
  return true;
}

// "a/b.html" against "http://h.test/x/y.html", and the like.
std::string Resolve(const std::string &page, std::string url) {
  for (size_t at; (at = url.find("&amp;")) != std::string::npos;)
    url.replace(at, 5, "&");
  if (url.find("://") != std::string::npos)
    return url;
  const size_t hostEnd = page.find('/', page.find("://") + 3);
  if (url.substr(0, 2) == "//")
    return page.substr(0, page.find(':') + 1) + url;
  if (!url.empty() && url[0] == '/')
    return page.substr(0, hostEnd) + url;
  std::string base = page.substr(0, page.rfind('/') + 1);
  while (url.substr(0, 3) == "../") {
    url.erase(0, 3);
    const size_t cut = base.rfind('/', base.size() - 2);
    if (cut != std::string::npos && cut >= hostEnd)
      base.resize(cut + 1);
  }
  return base + url;
}

// The src of every IMG and IFRAME of a page, with their sizes when given.
void CollectResources(const std::string &html, const std::string &page, std::vector<TRequest> &out) {
  for (size_t lt = html.find('<'); lt != std::string::npos; lt = html.find('<', lt + 1)) {
    const bool img = StartsWithNoCase(html, lt + 1, "img") && !std::isalnum(static_cast<unsigned char>(html[lt + 4]));
    const bool frame =
        StartsWithNoCase(html, lt + 1, "iframe") && !std::isalnum(static_cast<unsigned char>(html[lt + 7]));
    if (!img && !frame)
      continue;
    const size_t gt = html.find('>', lt);
    if (gt == std::string::npos)
      break;
    const std::string tag = html.substr(lt, gt - lt);
    auto attr = [&](const char *name) -> std::string {
      for (size_t at = 0; at < tag.size(); ++at) {
        if (!StartsWithNoCase(tag, at, name) || std::isalnum(static_cast<unsigned char>(tag[at - 1])))
          continue;
        size_t v = at + std::strlen(name);
        while (v < tag.size() && tag[v] == ' ')
          ++v;
        if (v >= tag.size() || tag[v] != '=')
          continue;
        ++v;
        while (v < tag.size() && tag[v] == ' ')
          ++v;
        if (v < tag.size() && (tag[v] == '"' || tag[v] == '\'')) {
          const size_t close = tag.find(tag[v], v + 1);
          return tag.substr(v + 1, close == std::string::npos ? std::string::npos : close - v - 1);
        }
        const size_t end = tag.find_first_of(" \t\r\n", v);
        return tag.substr(v, end == std::string::npos ? std::string::npos : end - v);
      }
      return {};
    };
    const std::string src = attr("src");
    if (src.empty())
      continue;
    const std::string w = attr("width"), h = attr("height");
    out.push_back(TRequest{Resolve(page, src), img ? "image/*" : "text/html", page, "",
                           w.empty() ? -1 : std::atoi(w.c_str()), h.empty() ? -1 : std::atoi(h.c_str())});
  }
}

// Ad-like URLs built from the list's own host rules, ordinary ones from a
// handful of content sites, and every fourth image inside a link.
void AddSynthetic(const std::string &list, std::vector<TRequest> &out, size_t count) {
  std::vector<std::string> adHosts;
  std::istringstream lines(list);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    if (line.size() > 3 && line.compare(0, 2, "||") == 0 && line.back() == '^' &&
        line.find_first_of("*/$^", 2) == line.size() - 1)
      adHosts.push_back(line.substr(2, line.size() - 3));
  }
  if (adHosts.empty())
    adHosts.push_back("ads.example-adserver.test");
  static const char *const sites[] = {"www.news-site.test", "img.news-site.test", "cdn.shop.test",
                                      "static.blog.test",   "media.tv.test",      "upload.wiki.test"};
  static const char *const adPaths[] = {
      "/ads/banner.gif", "/adserver/img?id=", "/banner/468x60.gif?c=", "/pagead/ad.html?slot=", "/ad_frame.html?s="};
  static const char *const paths[] = {"/images/2024/photo_", "/static/img/logo-", "/wp-content/uploads/pic",
                                      "/thumbs/t", "/article/embed.html?id="};
  uint32_t r = 12345;
  auto next = [&] { return r = r * 1103515245u + 12345u, (r >> 8); };
  for (size_t i = 0; i < count; ++i) {
    const std::string page = std::string("http://") + sites[next() % 6] + "/story/" + std::to_string(next() % 999);
    std::string url;
    const uint32_t k = next() % 100;
    if (k < 20)
      url = "http://" + adHosts[next() % adHosts.size()] + paths[next() % 5] + std::to_string(next() % 10000);
    else if (k < 30)
      url = std::string("http://") + sites[next() % 6] + adPaths[next() % 5] + std::to_string(next() % 10000);
    else
      url = std::string("http://") + sites[next() % 6] + paths[next() % 5] + std::to_string(next() % 10000) + ".jpg";
    const bool frame = url.find(".html") != std::string::npos;
    std::string link;
    if (!frame && next() % 4 == 0)
      link = next() % 3 == 0 ? "http://" + adHosts[next() % adHosts.size()] + "/click?id=" + std::to_string(i)
                             : page + "/more";
    out.push_back(TRequest{url, frame ? "text/html" : "image/*", page, link, frame ? 728 : 300, frame ? 90 : 250});
  }
}

double Percentile(std::vector<double> &v, double p) {
  const size_t at = std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())));
  std::nth_element(v.begin(), v.begin() + static_cast<long>(at), v.end());
  return v[at];
}

} // namespace

int main(int argc, char **argv) {
  std::string listPath, docs;
  int rounds = 5;
  bool check = true;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--list" && i + 1 < argc)
      listPath = argv[++i];
    else if (a == "--docs" && i + 1 < argc)
      docs = argv[++i];
    else if (a == "--no-check")
      check = false;
    else if (a == "--rounds" && i + 1 < argc)
      rounds = std::max(1, std::atoi(argv[++i]));
    else
      Fail("usage: bench_revision [--list easylist.txt] [--docs DIR] [--rounds N] [--no-check]");
  }
  if (listPath.empty()) {
    FILE *fetch = popen(ZU_ROOT "/tools/ZuRPCPrx/fetch-easylist", "r");
    if (!fetch)
      Fail("cannot run fetch-easylist");
    char line[4096];
    while (std::fgets(line, sizeof(line), fetch))
      listPath = line;
    if (pclose(fetch) != 0 || listPath.empty())
      Fail("fetch-easylist found no list; pass --list");
    while (!listPath.empty() && (listPath.back() == '\n' || listPath.back() == '\r'))
      listPath.pop_back();
  }

  const std::string list = ReadFile(listPath);
  std::vector<double> loads;
  TRevisionService service;
  for (int i = 0; i < 5; ++i) {
    TRevisionService s;
    const auto t0 = Clock::now();
    s.AddList(list);
    loads.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    if (i == 4)
      service = std::move(s);
  }
  const double loadMin = *std::min_element(loads.begin(), loads.end());
  const double loadMs = Percentile(loads, 0.5);
  const zurpc::TListStats &st = service.List().Stats();
  std::printf("list: %zu bytes; rules: %zu blocking, %zu exceptions; skipped: %zu regex, %zu element hiding, "
              "%zu unknown options, %zu malformed, %zu comments; %zu rules unindexed\n",
              list.size(), st.BlockRules, st.ExceptionRules, st.RegexRules, st.CosmeticRules, st.UnknownOptionRules,
              st.MalformedLines, st.Comments, st.UnindexedRules);
  std::printf("load: median %.1f ms, best %.1f ms over %zu loads\n", loadMs, loadMin, loads.size());

  std::vector<TRequest> requests;
  for (uint32_t seed = 1; seed <= 40; ++seed)
    CollectResources(zubench::GeneratePage(64 * 1024, seed),
                     "http://www.news-site.test/section/page" + std::to_string(seed) + ".html", requests);
  const size_t fromPages = requests.size();
  if (!docs.empty()) {
    namespace fs = std::filesystem;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(docs, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
      if (!it->is_regular_file() || it->path().extension() != ".html")
        continue;
      const std::string rel = fs::relative(it->path(), docs).generic_string();
      CollectResources(ReadFile(it->path()), "https://docs.example.test/3/" + rel, requests);
    }
  }
  const size_t fromDocs = requests.size() - fromPages;
  AddSynthetic(list, requests, 20000);
  std::printf("requests: %zu from generated pages, %zu from docs, %zu synthetic\n", fromPages, fromDocs,
              requests.size() - fromPages - fromDocs);

  size_t blocked = 0;
  for (const TRequest &q : requests)
    blocked += service.Revise(q.Resource, q.Mime, q.Page, q.Link, q.Width, q.Height) != 0;
  std::printf("verdicts: %zu of %zu revised (%.1f%%)\n", blocked, requests.size(),
              100.0 * static_cast<double>(blocked) / static_cast<double>(requests.size()));

  // The index must answer as trying every rule would; checked on a sample,
  // as trying every rule takes milliseconds per request.
  if (check) {
    zurpc::TAdFilterList plain(zurpc::TAdFilterList::EIndexing::Unindexed);
    plain.AddList(list);
    size_t checked = 0, differ = 0;
    for (size_t i = 0; i < requests.size(); i += 16) {
      const TRequest &q = requests[i];
      const auto type = static_cast<zurpc::EResourceType>(zurpc::TypeOfMime(q.Mime));
      ++checked;
      if (service.List().IsBlocked(q.Resource, q.Link, q.Page, type) !=
          plain.IsBlocked(q.Resource, q.Link, q.Page, type)) {
        if (++differ <= 5)
          std::printf("index disagrees on %s (link %s, page %s)\n", q.Resource.c_str(), q.Link.c_str(), q.Page.c_str());
      }
    }
    std::printf("index check: %zu requests against every rule, %zu disagreements\n", checked, differ);
    if (differ)
      Fail("the index changed answers");
  }

  std::vector<double> us;
  us.reserve(requests.size() * static_cast<size_t>(rounds));
  for (int round = 0; round < rounds; ++round)
    for (const TRequest &q : requests) {
      const auto t0 = Clock::now();
      const int v = service.Revise(q.Resource, q.Mime, q.Page, q.Link, q.Width, q.Height);
      const auto t1 = Clock::now();
      Keep(v);
      us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }
  double sum = 0;
  for (double u : us)
    sum += u;
  const double mean = sum / static_cast<double>(us.size());
  const double maxUs = *std::max_element(us.begin(), us.end());
  const double p99 = Percentile(us, 0.99);
  const double median = Percentile(us, 0.5);
  std::printf("per verdict (incl. clock reads): median %.3f us, p99 %.3f us, mean %.3f us, max %.1f us over %zu\n",
              median, p99, mean, maxUs, us.size());
  std::printf("revise: revise_median_us=%.3f revise_p99_us=%.3f list_load_ms=%.1f\n", median, p99, loadMs);
  return 0;
}
