// COUNT_OF: the number of elements of an array, so that a table's size is
// written once, where the table is. Portable.
#pragma once
#include <stddef.h>

template <typename T, size_t N>
constexpr size_t count_of_array(const T (&)[N])
{
    return N;
}
// Refuses a pointer at compile time, where sizeof arithmetic would not.
#define COUNT_OF(array) count_of_array(array)
