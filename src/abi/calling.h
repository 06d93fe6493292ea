// Calling convention and export attribute of the plug-in's C boundary, for both builds.
// On 64-bit Windows __stdcall is the one convention; elsewhere the default is used.
#pragma once

#if defined(_WIN32)
#define ZB_CALL __stdcall
#define ZB_EXPORT extern "C" __declspec(dllexport)
#else
#define ZB_CALL
#define ZB_EXPORT extern "C" __attribute__((visibility("default")))
#endif
