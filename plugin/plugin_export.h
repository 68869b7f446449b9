// How the entry point is exported: undecorated and cdecl from the Windows module (the 32-bit link drops
// the stdcall suffix of DLLMain), visible from the native shared library.
#pragma once

#if defined(__MINGW32__)
#define APERLUME_EXPORT __declspec(dllexport)
#else
#define APERLUME_EXPORT __attribute__((visibility("default")))
#endif

#include <cstdint>

extern "C" APERLUME_EXPORT void PluginMain(std::int16_t selector, void* record, std::intptr_t* data,
                                           std::int16_t* result) noexcept;
