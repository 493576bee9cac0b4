// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QPixmap>

// The maker's artwork, drawn here rather than shipped as files.
QPixmap logo_marchio();     // 553 x 286, shown stretched in the main window
QPixmap immagine_titolo();  // 236 x 180, on the title form
QIcon icona_applicazione(); // 16, 32 and 48 pixels

// The window fonts of the receiver's tools, mapped to metric-compatible
// fonts where the originals are not installed.
void installa_sostituti_caratteri();

class QWidget;
// Designer keeps whole point sizes; the forms were drawn at 8.25, 9.75 and
// 14.25 pt. Brings the fonts set on the form's widgets to those sizes.
void affina_caratteri(QWidget *form);
