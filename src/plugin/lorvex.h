// The ten exports that the host calls. stdcall, undecorated names (lorvex.def), booleans as
// one byte. The request record is passed by value: initalize removes 84 bytes of arguments,
// loadhtmltostream 88 and loadblankpagetostream 76.
#pragma once

#include <objidl.h>

#include <cstdint>

#include "plugin/PluginAbi.h"

static_assert(sizeof(bool) == 1, "booleans cross the boundary as one byte");

extern "C" {
int32_t __stdcall getcount();
int32_t __stdcall gettype(int32_t index);
const char* __stdcall getname(int32_t index);
const char* __stdcall getauthor(int32_t index);
const char* __stdcall getdescription(int32_t index);
const char* __stdcall getversion(int32_t index);
const char* __stdcall getsupportedformats(int32_t index);
bool __stdcall initalize(lorvex::TPlugInRequest request, int32_t index, IStream** hostStream,
                         bool* isPage);
bool __stdcall loadhtmltostream(lorvex::TPlugInRequest request, const char* html,
                                const char* pageLocation, IStream* hostStream, bool quiet);
void __stdcall loadblankpagetostream(lorvex::TPlugInRequest request, IStream* hostStream);
}
