// Shared by the archive tests.
#pragma once

#include <string>

// A failed result's message, or "" when it succeeded: a call that wrongly
// succeeds fails the comparison instead of reading an error it does not hold.
template <class Result>
std::string why(const Result& r) {
    return r ? std::string() : r.error().message;
}
