#include "PageGenerator.h"

#include <algorithm>

namespace zubench {
namespace {

const char *const Words[] = {"the",     "of",       "and",     "to",      "in",      "is",       "for",   "on",
                             "with",    "as",       "by",      "at",      "from",    "this",     "that",  "page",
                             "home",    "news",     "search",  "about",   "contact", "more",     "click", "here",
                             "free",    "new",      "world",   "online",  "service", "products", "help",  "your",
                             "our",     "download", "music",   "video",   "games",   "shop",     "price", "order",
                             "today",   "week",     "best",    "top",     "read",    "review",   "forum", "mail",
                             "weather", "sports",   "travel",  "Welcome", "Events",  "Privacy",  "Terms", "Archive",
                             "Company", "Business", "Support", "Login",   "&amp;",   "&nbsp;",   "2004",  "(c)"};

const char *const Hosts[] = {"www.example.com", "ads.example.net", "img.example.org", "cdn.example.com",
                             "media.example.net"};
const char *const Dirs[] = {"images", "img", "ads", "banners", "news", "pics", "media", "static"};
const char *const Exts[] = {"gif", "jpg", "png", "html", "asp", "php", "swf", "js"};
const char *const Classes[] = {"nav", "menu", "content", "footer", "header", "box", "ad", "small", "title"};

// A fixed generator so pages are the same on every platform and library.
class TRandom {
public:
  explicit TRandom(uint32_t seed) : FState(0x9E3779B97F4A7C15ull ^ (uint64_t(seed) << 17 | seed)) {}
  uint32_t Next() {
    uint64_t z = (FState += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return static_cast<uint32_t>((z ^ (z >> 31)) >> 32);
  }
  uint32_t Below(uint32_t n) { return n ? static_cast<uint32_t>((uint64_t(Next()) * n) >> 32) : 0; }
  uint32_t Between(uint32_t lo, uint32_t hi) { return lo + Below(hi - lo + 1); }
  bool Chance(uint32_t percent) { return Below(100) < percent; }
  template <size_t N> const char *Pick(const char *const (&list)[N]) { return list[Below(N)]; }
  const char *Pick(const char *const *list, size_t n) { return list[Below(static_cast<uint32_t>(n))]; }

private:
  uint64_t FState;
};

class TPageWriter {
public:
  explicit TPageWriter(uint32_t seed) : R(seed) {}

  void Head() {
    S += "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\n<html>\n<head>\n";
    S += "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">\n<title>";
    Text(3, 7);
    S += "</title>\n";
    Open("link");
    Attr("rel", "stylesheet");
    Attr("type", "text/css");
    Attr("href", Url("css"));
    S += ">\n";
    Script();
    S += "</head>\n<body";
    Attr("bgcolor", "#ffffff");
    Attr("onload", "init()");
    S += ">\n";
  }

  // One block of body content, as a page's template repeats them.
  void Block() {
    const uint32_t k = R.Below(100);
    if (k < 40)
      Paragraph();
    else if (k < 48)
      List();
    else if (k < 55)
      Table();
    else if (k < 60)
      Heading();
    else if (k < 66)
      Figure();
    else if (k < 71)
      Iframe();
    else if (k < 76)
      Object();
    else if (k < 80)
      ImageMap();
    else if (k < 88)
      Script();
    else if (k < 95)
      Comment();
    else
      Form();
    S += '\n';
  }

  // Plain words filling exactly `n` bytes.
  void Filler(size_t n) {
    const size_t end = S.size() + n;
    while (S.size() < end) {
      const char *w = R.Pick(Words);
      S.append(w, std::min(std::char_traits<char>::length(w), end - S.size()));
      if (S.size() < end)
        S += ' ';
    }
  }

  std::string S;

private:
  void Open(const char *name) {
    S += '<';
    S += name;
  }
  void Close(const char *name) {
    S += "</";
    S += name;
    S += '>';
  }
  void Simple(const char *name) {
    Open(name);
    S += '>';
  }

  // Double quotes mostly, then single, then none where the value allows it.
  void Attr(const char *name, const std::string &value) {
    S += ' ';
    S += name;
    S += '=';
    const bool bare = value.find_first_of(" \"'<>=") == std::string::npos && !value.empty();
    const uint32_t q = R.Below(100);
    if (bare && q < 22) {
      S += value;
    } else if (q < 42 && value.find('\'') == std::string::npos) {
      S += '\'';
      S += value;
      S += '\'';
    } else {
      S += '"';
      S += value;
      S += '"';
    }
  }
  void Attr(const char *name, uint32_t value) { Attr(name, std::to_string(value)); }

  std::string Url(const char *ext = nullptr) {
    std::string u;
    if (R.Chance(60)) {
      u = "http://";
      u += R.Pick(Hosts);
    }
    u += '/';
    u += R.Pick(Dirs);
    u += '/';
    u += R.Pick(Words + 10, 50);
    u += std::to_string(R.Below(1000));
    u += '.';
    u += ext ? ext : R.Pick(Exts);
    if (R.Chance(20)) {
      u += "?id=";
      u += std::to_string(R.Below(100000));
      u += "&amp;ref=";
      u += R.Pick(Words + 10, 50);
    }
    return u;
  }

  void Text(uint32_t lo, uint32_t hi) {
    const uint32_t n = R.Between(lo, hi);
    for (uint32_t i = 0; i < n; ++i) {
      if (i)
        S += ' ';
      S += R.Pick(Words);
    }
  }

  void Link() {
    Open("a");
    Attr("href", Url());
    if (R.Chance(25))
      Attr("target", "_blank");
    if (R.Chance(20))
      Attr("onclick", "return go(this, 'x')");
    S += '>';
    Text(1, 3);
    Close("a");
  }

  void Img(bool withMap = false, uint32_t map = 0) {
    Open("img");
    Attr("src", Url(R.Chance(70) ? "gif" : "jpg"));
    Attr("width", R.Between(1, 640));
    Attr("height", R.Between(1, 480));
    if (R.Chance(60)) {
      std::string alt = R.Pick(Words);
      alt += ' ';
      alt += R.Pick(Words);
      Attr("alt", alt);
    }
    if (R.Chance(40))
      Attr("border", "0");
    if (withMap)
      Attr("usemap", "#map" + std::to_string(map));
    S += '>';
  }

  void Inline() {
    const uint32_t k = R.Below(100);
    if (k < 40) {
      Link();
    } else if (k < 60) {
      const char *t = R.Chance(50) ? "b" : (R.Chance(50) ? "i" : "em");
      Simple(t);
      Text(1, 3);
      Close(t);
    } else if (k < 75) {
      Open("span");
      Attr("class", R.Pick(Classes));
      S += '>';
      Text(1, 3);
      Close("span");
    } else if (k < 88) {
      Simple("br");
    } else {
      Img();
    }
  }

  void Paragraph() {
    Simple("p");
    const uint32_t n = R.Between(1, 5);
    for (uint32_t i = 0; i < n; ++i) {
      S += ' ';
      Text(6, 24);
      S += ' ';
      Inline();
    }
    S += ' ';
    Text(4, 18);
    Close("p");
  }

  void List() {
    Open("ul");
    if (R.Chance(50))
      Attr("class", R.Pick(Classes));
    S += ">\n";
    const uint32_t n = R.Between(2, 7);
    for (uint32_t i = 0; i < n; ++i) {
      Simple("li");
      Link();
      if (R.Chance(70)) {
        S += " - ";
        Text(3, 10);
      }
      Close("li");
      S += '\n';
    }
    Close("ul");
  }

  void Table() {
    Open("table");
    Attr("width", "100%");
    Attr("border", R.Below(2));
    Attr("cellpadding", R.Below(5));
    S += ">\n";
    const uint32_t rows = R.Between(1, 4), cols = R.Between(1, 4);
    for (uint32_t r = 0; r < rows; ++r) {
      Simple("tr");
      for (uint32_t c = 0; c < cols; ++c) {
        Open("td");
        if (R.Chance(30))
          Attr("align", R.Chance(50) ? "center" : "right");
        S += '>';
        if (R.Chance(30))
          Inline();
        else
          Text(2, 8);
        Close("td");
      }
      Close("tr");
      S += '\n';
    }
    Close("table");
  }

  void Heading() {
    const char *h = R.Chance(50) ? "h2" : "h3";
    Open(h);
    if (R.Chance(50))
      Attr("id", std::string("s") + std::to_string(R.Below(100)));
    S += '>';
    Text(2, 5);
    Close(h);
  }

  void Figure() {
    Open("div");
    Attr("class", R.Pick(Classes));
    S += '>';
    if (R.Chance(50)) {
      Open("a");
      Attr("href", Url());
      S += '>';
      Img();
      Close("a");
    } else {
      Img();
    }
    Close("div");
  }

  void Iframe() {
    Open("iframe");
    Attr("src", Url("html"));
    Attr("width", R.Between(100, 728));
    Attr("height", R.Between(60, 600));
    Attr("frameborder", "0");
    Attr("scrolling", "no");
    S += '>';
    Close("iframe");
  }

  void Object() {
    const std::string movie = Url("swf");
    const uint32_t w = R.Between(100, 728), h = R.Between(60, 600);
    Open("object");
    Attr("classid", "clsid:D27CDB6E-AE6D-11cf-96B8-444553540000");
    Attr("codebase", "http://download.example.com/pub/flash/swflash.cab#version=6,0,0,0");
    Attr("width", w);
    Attr("height", h);
    S += ">\n";
    Open("param");
    Attr("name", "movie");
    Attr("value", movie);
    S += ">\n";
    Open("param");
    Attr("name", "quality");
    Attr("value", "high");
    S += ">\n";
    Open("embed");
    Attr("src", movie);
    Attr("quality", "high");
    Attr("type", "application/x-shockwave-flash");
    Attr("width", w);
    Attr("height", h);
    S += '>';
    Close("embed");
    S += '\n';
    Close("object");
  }

  void ImageMap() {
    const uint32_t id = R.Below(100);
    Img(true, id);
    S += '\n';
    Open("map");
    Attr("name", "map" + std::to_string(id));
    S += ">\n";
    const uint32_t n = R.Between(2, 5);
    for (uint32_t i = 0; i < n; ++i) {
      const uint32_t x = R.Below(400), y = R.Below(300);
      Open("area");
      Attr("shape", "rect");
      Attr("coords", std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(x + R.Between(10, 99)) + "," +
                         std::to_string(y + R.Between(10, 99)));
      Attr("href", Url());
      if (R.Chance(50))
        Attr("alt", R.Pick(Words));
      S += ">\n";
    }
    Close("map");
  }

  void Script() {
    Open("script");
    Attr("type", "text/javascript");
    if (R.Chance(30)) {
      Attr("src", Url("js"));
      S += '>';
      Close("script");
      return;
    }
    S += ">\n<!--\n";
    const uint32_t n = R.Between(1, 4);
    for (uint32_t i = 0; i < n; ++i) {
      switch (R.Below(5)) {
      case 0:
        S += "var a=" + std::to_string(R.Below(50)) + ",b=" + std::to_string(R.Below(50)) + ";if(a<b){a=b;}\n";
        break;
      case 1:
        S += "for(var i=0;i<n.length;i++){s+=n[i];}\n";
        break;
      case 2:
        S += "document.write('<a href=\"" + Url() + "\">');document.write('" + R.Pick(Words) + "</a>');\n";
        break;
      case 3:
        S += "if(x<<2>y&&y>0){z=x>>1;}\n";
        break;
      default:
        S += "function f" + std::to_string(R.Below(100)) + "(o){return o.w<100?'small':'big';}\n";
        break;
      }
    }
    S += "//-->\n";
    Close("script");
  }

  void Comment() {
    switch (R.Below(4)) {
    case 0:
      S += "<!-- ";
      Text(2, 8);
      S += " -->";
      break;
    case 1:
      S += "<!-- begin ";
      S += R.Pick(Classes);
      S += " -->";
      break;
    case 2:
      // A '>' and a lone '--' inside do not end a comment.
      S += "<!-- <b>old</b> -- ";
      Text(1, 3);
      S += " -->";
      break;
    default:
      S += "<!--[if IE]><link rel=stylesheet href=\"/css/ie.css\"><![endif]-->";
      break;
    }
  }

  void Form() {
    Open("form");
    Attr("action", Url("asp"));
    Attr("method", R.Chance(50) ? "get" : "post");
    S += '>';
    Open("input");
    Attr("type", "text");
    Attr("name", "q");
    Attr("value", "");
    Attr("size", R.Between(10, 40));
    S += '>';
    Open("input");
    Attr("type", "submit");
    Attr("value", R.Pick(Words));
    S += '>';
    Close("form");
  }

  TRandom R;
};

} // namespace

std::string GeneratePage(size_t bytes, uint32_t seed) {
  static const char Tail[] = "</body>\n</html>\n";
  const size_t tail = sizeof(Tail) - 1;
  TPageWriter w(seed);
  w.Head();
  for (;;) {
    const size_t before = w.S.size();
    w.Block();
    if (w.S.size() + tail > bytes) {
      w.S.resize(before);
      break;
    }
  }
  if (w.S.size() + tail > bytes) {
    // Too small for a whole page: its front is still a fair page.
    w.S.resize(bytes);
    return w.S;
  }
  w.Filler(bytes - tail - w.S.size());
  w.S += Tail;
  return w.S;
}

std::vector<std::string> GenerateCorpus(size_t totalBytes, uint32_t seed) {
  std::vector<std::string> pages;
  TRandom r(seed ^ 0x5A17u);
  size_t done = 0;
  while (done < totalBytes) {
    // Log-uniform between 8 KB and 256 KB: many small pages, a few big ones.
    const size_t size = std::min<size_t>(totalBytes - done, size_t(8192) << r.Below(6) | r.Below(8192));
    pages.push_back(GeneratePage(size, seed + static_cast<uint32_t>(pages.size())));
    done += size;
  }
  return pages;
}

} // namespace zubench
