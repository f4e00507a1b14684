// The memory functions of NAPKIT.EXE, which links no C runtime: the compiler
// calls them for structure copies and clears (CopyMemory and ZeroMemory are
// memcpy and memset). Built into NAPKIT.EXE only: the test programs link the
// C runtime, whose own copies these would clash with.
// CMakeLists.txt compiles this file so that the compiler does not turn the
// loops below back into calls of the very functions they are.
#include <stddef.h>

extern "C" {

void* memcpy(void* to, const void* from, size_t size)
{
    unsigned char* out = (unsigned char*)to;
    const unsigned char* in = (const unsigned char*)from;
    while (size-- > 0)
        *out++ = *in++;
    return to;
}

void* memmove(void* to, const void* from, size_t size)
{
    unsigned char* out = (unsigned char*)to;
    const unsigned char* in = (const unsigned char*)from;
    if (out <= in) {
        while (size-- > 0)
            *out++ = *in++;
    } else {
        while (size-- > 0)
            out[size] = in[size];   // from the end: the source may overlap the destination's end
    }
    return to;
}

void* memset(void* to, int value, size_t size)
{
    unsigned char* out = (unsigned char*)to;
    while (size-- > 0)
        *out++ = (unsigned char)value;
    return to;
}

int memcmp(const void* left, const void* right, size_t size)
{
    const unsigned char* a = (const unsigned char*)left;
    const unsigned char* b = (const unsigned char*)right;
    for (; size > 0; size--, a++, b++) {
        if (*a != *b)
            return *a < *b ? -1 : 1;
    }
    return 0;
}

}
