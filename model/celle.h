// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The receiver's block: which cell holds what, and the letters of the dialogue.

constexpr int NUM_CELLE = 64;

constexpr int CELLA_TIPO = 0;
constexpr int CELLA_FQ1 = 1; // main counter B, high byte
constexpr int CELLA_FQ2 = 2; // main counter B, low byte
constexpr int CELLA_FQ3 = 3; // swallow counter A, shifted left by one
constexpr int CELLA_BASE1 = 4;
constexpr int CELLA_BASE2 = 5;
constexpr int CELLA_BASE3 = 6;
constexpr int CELLA_COD_H = 7;
constexpr int CELLA_COD_L = 8;
constexpr int CELLA_TONI = 9;
constexpr int CELLA_USCITE = 10;
constexpr int CELLA_RELE = 11;
constexpr int CELLA_IMPULSI = 12;
constexpr int CELLA_TRASMETTITORI = 13;
constexpr int ULTIMA_CELLA_CONTATA = 13; // the checksum covers cells 0 to this one
constexpr int CELLA_CKS = 61;
constexpr int CELLA_BANDA = 62;
constexpr int CELLA_MARCA = 63;

constexpr int ULTIMA_CELLA_LETTA = CELLA_BANDA;
constexpr int CELLE_LETTE = ULTIMA_CELLA_LETTA + 1;
constexpr int ULTIMA_CELLA_PROGRAMMATA = CELLA_CKS;

namespace lettera {
constexpr char PRONTO = 'K'; // the receiver is ready; also the acknowledgement of a write
constexpr char INIZIO = 'U'; // the answer to the ready "K"
constexpr char LEGGI = 'R';  // then the cell index
constexpr char SCRIVI = 'W'; // then the cell index and its value
constexpr char FINE = 'E';
constexpr char UHF = 'U'; // band letters in cell 62
constexpr char VHF = 'V';
constexpr char MARCA = 'Z'; // cell 63 of a factory block
} // namespace lettera
