// Calling convention and visibility of the engines' flat exports.
#pragma once

#if defined(_WIN32)
#define TOBRIN_CALL __stdcall
#define TOBRIN_EXPORT __declspec(dllexport)
#else
#define TOBRIN_CALL
#define TOBRIN_EXPORT __attribute__((visibility("default")))
#endif
