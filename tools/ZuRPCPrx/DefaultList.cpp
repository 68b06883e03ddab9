// Used when ZuRPCPrx.ini names no list: hosts that serve nothing but
// advertising, and path shapes ad servers commonly use.
#include "RevisionService.h"

namespace zurpc {

const char kDefaultList[] = R"(! Default list of the resource revision service
||ads.example-adserver.test^
||banners.example-adserver.test^
||doubleclick.net^
||googlesyndication.com^
||googleadservices.com^
||adnxs.com^
||adform.net^
||advertising.com^
||adsrvr.org^
||amazon-adsystem.com^
||casalemedia.com^
||criteo.com^
||criteo.net^
||moatads.com^
||openx.net^
||outbrain.com^
||pubmatic.com^
||rubiconproject.com^
||serving-sys.com^
||smartadserver.com^
||taboola.com^
||adbrite.com^
||adtech.de^
||zedo.com^
/banner/*$image,subdocument
/banners/*$image,subdocument
/adbanner.
/adbanners/*
/adserver/*
/adframe.
/adframe/*
/pagead/*
/ad_banner.
/ads/banner
&ad_type=
/468x60.$image
/728x90.$image
)";

} // namespace zurpc
