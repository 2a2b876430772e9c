// A problem with what the user asked for or handed in (a file, a setting, an
// option), said in one line: the library's checks throw it, and the tool
// that shows the line uses it for its own refusals too.
#pragma once

#include <stdexcept>

class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
