// SPDX-License-Identifier: MIT
// Line-oriented reading of text files (trimming, the line reader, token
// lines) and detection of the installed distribution from its release file.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string_view>

#include "common_utilities.h"
#include "diag.h"
#include "host_queries.h"
#include "host_query_parse.h"

// Trimming
void trim_chars(char *pstring, char *ptrim)
{
    if (pstring == nullptr || ptrim == nullptr || ptrim[0] == '\0') {
        return;
    }
    size_t start = std::strspn(pstring, ptrim);
    if (pstring[start] == '\0') {
        pstring[0] = '\0';
        return;
    }
    // The character at start is not in the set, so the backward scan stops
    // there at the latest.
    size_t end = std::strlen(pstring);
    while (std::strchr(ptrim, pstring[end - 1]) != nullptr) {
        end--;
    }
    std::memmove(pstring, pstring + start, end - start);
    pstring[end - start] = '\0';
}

// The line reader: its whole state is the caller's triple.
void alloc_read_a_line_vars(FILE **ppfile, char **ppa_line, size_t *pline_len)
{
    *ppfile = nullptr;
    *ppa_line = nullptr;
    *pline_len = 0;
}

ssize_t read_a_line(char *pfile_name, FILE **ppfile, char **ppa_line, size_t *pline_len)
{
    // While a stream is open the name is ignored: the next line of that
    // stream is read.
    if (*ppfile == nullptr) {
        if (pfile_name == nullptr) {
            return -1;
        }
        *ppfile = std::fopen(pfile_name, "re");
        if (*ppfile == nullptr) {
            return -1;
        }
    }
    return getline(ppa_line, pline_len, *ppfile);
}

void free_read_a_line_vars(FILE **ppfile, char **ppa_line, size_t *pline_len)
{
    if (*ppfile == nullptr) {
        return;
    }
    std::fclose(*ppfile);
    std::free(*ppa_line);
    alloc_read_a_line_vars(ppfile, ppa_line, pline_len);
}

// Token lines
// Drops one final newline, found by the copy's own length: a line with a
// NUL byte inside is copied only up to that byte.
static void remove_final_newline(char *pcopy)
{
    size_t len = std::strlen(pcopy);
    if (len > 0 && pcopy[len - 1] == '\n') {
        pcopy[len - 1] = '\0';
    }
}

int32_t read_tokens(char *pfile_name, char *ptoken_to_match, int32_t remove_nl, char ***ppptokens_found,
                    int32_t *ptoken_count)
{
    *ptoken_count = 0;
    *ppptokens_found = nullptr;
    if (ptoken_to_match == nullptr) {
        return 0;
    }
    FILE *pfile;
    char *pline;
    size_t line_len;
    alloc_read_a_line_vars(&pfile, &pline, &line_len);
    int32_t count = 0;
    char **pplines = nullptr;
    while (read_a_line(pfile_name, &pfile, &pline, &line_len) != -1) {
        if (!host_query::token_line_selected(pline, ptoken_to_match)) {
            continue;
        }
        count++;
        pplines = static_cast<char **>(TARVEX_REALLOC(pplines, static_cast<size_t>(count) * sizeof(char *)));
        pplines[count - 1] = TARVEX_STRDUP(pline);
        if (remove_nl != 0) {
            remove_final_newline(pplines[count - 1]);
        }
    }
    free_read_a_line_vars(&pfile, &pline, &line_len);
    *ppptokens_found = pplines;
    *ptoken_count = count;
    return count;
}

void free_read_tokens(char ***ppplines, int32_t count)
{
    if (ppplines == nullptr) {
        return;
    }
    if (*ppplines != nullptr) {
        for (int32_t i = count - 1; i >= 0; i--) {
            std::free((*ppplines)[i]);
        }
    }
    std::free(*ppplines);
    *ppplines = nullptr;
}

// Distribution detection
static constexpr const char *pdistro_file[] = {"/etc/redhat-release", "/etc/SuSE-release", "/etc/SUSE-release"};
static constexpr size_t pdistro_file_entries = std::size(pdistro_file);

// Notes the first release file that is there but could not be opened or
// read; an absent file is no failure.
static void note_release_failure(const char *pfile_name, FILE *pfile, int err, release_file_failure *pfailure)
{
    bool unreadable = pfile == nullptr ? err != ENOENT && err != ENOTDIR : std::ferror(pfile) != 0;
    if (unreadable && pfailure->pfile == nullptr) {
        *pfailure = {pfile_name, err};
    }
}

// Opens the first release file that yields a line; false when none does.
// On true the triple holds that first line and must be released.
static bool read_release_line(FILE **ppfile, char **ppline, size_t *pline_len, release_file_failure *pfailure)
{
    for (size_t i = 0; i < pdistro_file_entries; i++) {
        alloc_read_a_line_vars(ppfile, ppline, pline_len);
        errno = 0;
        if (read_a_line(const_cast<char *>(pdistro_file[i]), ppfile, ppline, pline_len) != -1) {
            return true;
        }
        note_release_failure(pdistro_file[i], *ppfile, errno, pfailure);
        free_read_a_line_vars(ppfile, ppline, pline_len);
    }
    return false;
}

static int32_t detect_distro(linux_distro_name_t *pname, linux_distro_type_t *ptype, int32_t *pversion,
                             char **ppofficial_distro_name, release_file_failure *pfailure)
{
    *pname = unknown_distro;
    *ptype = unknown_distro_type;
    *pversion = 0;
    FILE *pfile;
    char *pline;
    size_t line_len;
    if (!read_release_line(&pfile, &pline, &line_len, pfailure)) {
        return 1;
    }
    if (ppofficial_distro_name != nullptr) {
        *ppofficial_distro_name = TARVEX_STRDUP(pline);
        trim_chars(*ppofficial_distro_name, const_cast<char *>(" \t\n"));
    }
    host_query::distro_facts facts = host_query::classify_release_line(pline);
    free_read_a_line_vars(&pfile, &pline, &line_len);
    if (!facts.recognised) {
        return 1;
    }
    *pname = facts.name;
    *ptype = facts.type;
    *pversion = facts.version;
    return 0;
}

int32_t detect_linux_distro(linux_distro_name_t *pname, linux_distro_type_t *ptype, int32_t *pversion,
                            char **ppofficial_distro_name)
{
    release_file_failure ignored;
    return detect_distro(pname, ptype, pversion, ppofficial_distro_name, &ignored);
}

int32_t detect_linux_distro_checked(linux_distro_name_t *pname, linux_distro_type_t *ptype, int32_t *pversion,
                                    release_file_failure *pfailure)
{
    *pfailure = {};
    return detect_distro(pname, ptype, pversion, nullptr, pfailure);
}
