// The class GUIDs of the filtering library, fixed once and kept.
#pragma once

#include <windows.h>

// TTervaneHTMLFilter, the text/html MIME filter.
// {7A7020A1-254C-4691-91DC-5BC933E0939D}
inline constexpr CLSID CLSID_TervaneHTMLFilter = {
    0x7a7020a1, 0x254c, 0x4691, {0x91, 0xdc, 0x5b, 0xc9, 0x33, 0xe0, 0x93, 0x9d}};

// TAdFilterBHO, the ad-filter browser helper object.
// {EC2373D0-BBBC-47E1-BFC2-0D3CF81925C6}
inline constexpr CLSID CLSID_AdFilterBHO = {
    0xec2373d0, 0xbbbc, 0x47e1, {0xbf, 0xc2, 0x0d, 0x3c, 0xf8, 0x19, 0x25, 0xc6}};
