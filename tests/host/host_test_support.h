// SPDX-License-Identifier: MIT
// Small helpers of the host query tests that run inside private namespaces.
#ifndef TARVEX_HOST_TEST_SUPPORT_H
#define TARVEX_HOST_TEST_SUPPORT_H

#include <dirent.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include "open_descriptors.h"

// The text a call hands back through its char ** argument, released here;
// "(untouched)" when the call did not write the pointer.
template <typename Call> std::string handed_back_text(Call call)
{
    static char untouched_marker;
    char *ptext = &untouched_marker;
    call(&ptext);
    if (ptext == &untouched_marker) {
        return "(untouched)";
    }
    std::string text = ptext;
    std::free(ptext);
    return text;
}

// True when this process's namespace of the kind ("net", "mnt") differs
// from the one in_private_namespace.sh started from: the guard before a
// test changes interfaces or mounts.
inline bool in_private_namespace(const char *pkind)
{
    std::string variable = std::string("TARVEX_OUTER_NS_") + pkind;
    std::transform(variable.begin(), variable.end(), variable.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    const char *pouter = std::getenv(variable.c_str());
    char own[64] = {};
    std::string self_path = std::string("/proc/self/ns/") + pkind;
    if (pouter == nullptr || pouter[0] == '\0' || readlink(self_path.c_str(), own, sizeof(own) - 1) <= 0) {
        return false;
    }
    return std::strcmp(own, pouter) != 0;
}

// True when path is a mount of the given file system type (tmpfs, overlay)
// in a private mount namespace, so writing there leaves the host alone.
inline bool privately_mounted(const char *ppath, long fs_magic)
{
    struct statfs fs;
    return in_private_namespace("mnt") && statfs(ppath, &fs) == 0 && fs.f_type == fs_magic;
}

inline constexpr long tmpfs_magic = 0x01021994;
inline constexpr long overlayfs_magic = 0x794c7630;

inline bool run(const std::string &command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

inline std::string output(const std::string &command)
{
    std::string text;
    FILE *ppipe = popen(command.c_str(), "r");
    if (ppipe == nullptr) {
        return text;
    }
    char buffer[512];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof(buffer), ppipe)) > 0) {
        text.append(buffer, got);
    }
    pclose(ppipe);
    return text;
}

inline std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

inline std::string upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

#endif
