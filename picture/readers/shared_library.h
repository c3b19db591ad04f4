#pragma once

#include <dlfcn.h>

#include <type_traits>

namespace mok::picture {

// Opens `soname` for the life of the process and lets `fill` look up each
// function it needs with find(pointer, "name"). False when the library, or
// any function asked for, is missing.
template <typename Fill> bool openLibrary(const char *soname, Fill fill)
{
    void *library = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return false;
    bool complete = true;
    fill([&](auto &function, const char *name) {
        function =
            reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(library, name));
        complete = complete && function;
    });
    return complete;
}

} // namespace mok::picture
