// Reads the input as stream strings, as a translation reply, as the host's
// browser list and as domain-link IDs. The first byte chooses how many source
// texts the translator holds, so replies with the right count get past the
// count check. Checks that whatever is read writes back to exactly the bytes
// it came from, and that a taken reply translates every source text to its
// own entry.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "toolbar/host/HostPackets.h"
#include "toolbar/services/MemTranslaterUnit.h"
#include "toolbar/services/StreamUtils.h"
#include "toolbar/services/ZUSystem.h"

using namespace kwo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0)
    return 0;
  const unsigned sources = data[0] % 6;
  ++data;
  --size;

  TMemoryStream in;
  BytesToStream(data, size, in);
  in.Rewind();
  TMemoryStream out;
  for (;;) {
    const size_t start = in.Position();
    std::u16string text;
    bool ok = false;
    try {
      ok = ReadWideStr(in, text);
    } catch (const EIntOverflow &) {
    }
    if (in.Position() > in.Size())
      std::abort();
    if (!ok)
      break;
    WriteWideStr(out, text);
    if (out.Size() != in.Position() || std::memcmp(out.Data(), data, out.Size()) != 0 || in.Position() == start)
      std::abort();
  }

  static const char16_t *const texts[] = {u"Clear", u"back", u"Forward", u"home", u"Stop"};
  TMemTranslater translater;
  for (unsigned i = 0; i < sources; ++i)
    translater.AddText(texts[i]);
  in.Rewind();
  translater.ReadTranslationsPacket(in);
  const auto &translations = translater.Translations();
  if (!translations.empty() && translations.size() != translater.SourceTexts().size())
    std::abort();
  for (size_t i = 0; i < translater.SourceTexts().size(); ++i) {
    const std::u16string &source = translater.SourceTexts()[i];
    if (translater.Translate(source) != (translations.empty() ? source : translations[i]))
      std::abort();
  }
  if (translater.Translate(u"never added") != u"never added")
    std::abort();

  // The complete entries of a browser list are the bytes after its count.
  in.Rewind();
  const std::vector<TBrowserListEntry> windows = ReadBrowserList(in);
  if (in.Position() > in.Size() || (size < 4 && !windows.empty()))
    std::abort();
  TMemoryStream list;
  WriteBrowserList(list, windows);
  if (size >= 4 && (list.Size() > size || std::memcmp(list.Data() + 4, data + 4, list.Size() - 4) != 0))
    std::abort();

  in.Rewind();
  const std::vector<int32_t> ids = ReadInt32List(in);
  if (ids.size() != size / 4 || (!ids.empty() && std::memcmp(ids.data(), data, ids.size() * 4) != 0))
    std::abort();
  return 0;
}
