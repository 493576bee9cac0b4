// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

// A form-level number of the receiver image. It holds no value until first
// assigned: unset, it counts as 0 in arithmetic and on the wire, but equals
// no letter code, so an unset band letter is neither "U" nor "V".
class Variante
{
public:
    Variante() = default;
    Variante(double v) : m_valore(v) {}

    Variante &operator=(double v)
    {
        m_valore = v;
        return *this;
    }

    bool impostata() const { return m_valore.has_value(); }
    double valore() const { return m_valore.value_or(0.0); }
    bool uguale(double v) const { return m_valore.has_value() && *m_valore == v; }
    void azzera() { m_valore.reset(); }

private:
    std::optional<double> m_valore;
};
