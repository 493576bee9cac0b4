// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

// The leading decimal number of a text, "." as the decimal point whatever the
// locale. Leading blanks and a sign are allowed; an empty or non-numeric text
// gives 0, a number too large for a double gives infinity.
double valore_testo(std::string_view testo);

// 15 significant digits, no trailing zeros, no trailing point, always ".",
// never an exponent (valore_testo takes none): a finite value reads back
// through valore_testo within its 15 digits, but for magnitudes from
// 1.797693134862315e308 up, whose text rounds beyond the largest double and
// reads as infinity.
// Infinities and NaN are written "inf", "-inf" and "nan".
std::string testo_numero(double valore);
