// What the Microsoft SDK's <windows.h> adds to C++ code and MinGW-w64's does not.
//
// Never part of a build. scripts/msvc-check force-includes it (clang -include) ahead of every C++
// unit of the windows build and checks the syntax against the MinGW headers, so that a clang run on
// Linux fails where cl with the SDK would, instead of the first Visual Studio build finding out:
//
//  - Without WIN32_LEAN_AND_MEAN the SDK's <windows.h> pulls in rpcndr.h, which defines `small` as
//    char and `hyper` as __int64 for all code; MinGW's rpcndr.h does so for the resource compiler
//    only. A variable named `small` builds with g++ and is a syntax error under cl. Defined here
//    for every unit, lean or not: a name that breaks under one set of definitions is not worth
//    keeping under the others.
//  - Without NOMINMAX the SDK's minwindef.h defines min and max as macros in C++ as well; MinGW's
//    only in C. minwindef.h beside this file adds them where <windows.h> includes it, as the SDK
//    does, so only units that include the windows headers meet them.
//  - cl rejects narrowing in braces (C2397) where g++ only warns. clang rejects it too; the checker
//    passes -Werror=c++11-narrowing so that no warning flag of ours can soften it.
#pragma once

#define small char
#define hyper __int64

#ifndef NOMINMAX
// cl's standard library is written to survive the min/max macros ((std::max)(a, b)); libstdc++
// is not, and would fail wherever <windows.h> comes before a standard header. Reading all of it
// now, before any windows header can define them, leaves only our own code to meet the macros,
// as under cl.
#include <bits/stdc++.h>
// libstdc++'s MinGW configuration defines NOMINMAX for every unit that includes a standard header,
// which is why g++ never shows min and max; the SDK's standard library defines no such thing.
#undef NOMINMAX
#endif
