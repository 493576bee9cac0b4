// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <stdexcept>

// A port operation that could not be carried out: the port is closed, missing,
// busy, or the line went away under it.
class ErrorePorta : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};
