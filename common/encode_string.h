// SPDX-License-Identifier: MIT
/* Byte substitution that keeps the catalogue's model names scrambled. */
#ifndef TARVEX_ENCODE_STRING_H
#define TARVEX_ENCODE_STRING_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

void encode_string(char *pstring, int32_t len);
void decode_string(char *pstring, int32_t len);

#ifdef __cplusplus
}
#endif

#endif
