// SPDX-License-Identifier: MIT
/* Byte substitution that keeps the catalogue's model names scrambled. */
#ifndef TARVEX_ENCODE_STRING_H
#define TARVEX_ENCODE_STRING_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Scrambles the first len bytes of the caller's buffer in place; no NUL is
 * read or written, and len 0 or less changes nothing. */
void encode_string(char *pstring, int32_t len);
/* Undoes encode_string over the same len bytes, in place. */
void decode_string(char *pstring, int32_t len);

#ifdef __cplusplus
}
#endif

#endif
