// Parses the input as an ad-filter list and asks it about a few requests,
// including the input's first line as a URL. Also checks that the list read
// in two parts answers exactly as the list read whole.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "AdFilterList.h"

using namespace zurpc;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string_view text(reinterpret_cast<const char *>(data), size);
  TAdFilterList whole;
  whole.AddList(text);

  const size_t mid = text.find('\n', text.size() / 2);
  TAdFilterList parts;
  parts.AddList(text.substr(0, mid));
  if (mid != std::string_view::npos)
    parts.AddList(text.substr(mid + 1));

  const std::string_view first = text.substr(0, text.find('\n'));
  const std::string_view urls[] = {first,
                                   "http://ads.test/banner/468x60.gif?x=1&ad_type=2",
                                   "https://a.b.ads.test:8080/path/ad-frame.html#x",
                                   "http://news.test/img/Photo%20A.JPG",
                                   "//cdn.test/x",
                                   ""};
  const std::string_view pages[] = {"http://news.test/today.html", "", first};
  const EResourceType types[] = {rtImage, rtSubdocument, rtObject};
  for (std::string_view url : urls)
    for (std::string_view page : pages)
      for (EResourceType type : types)
        for (std::string_view link : {std::string_view(), first})
          if (whole.IsBlocked(url, link, page, type) != parts.IsBlocked(url, link, page, type))
            std::abort();
  return 0;
}
