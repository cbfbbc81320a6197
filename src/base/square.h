// Squares: 0..63, square = rank * 8 + file, a1 = 0, h1 = 7, a8 = 56, h8 = 63.
#pragma once

enum : int {
    A1,
    B1,
    C1,
    D1,
    E1,
    F1,
    G1,
    H1,
    A2,
    B2,
    C2,
    D2,
    E2,
    F2,
    G2,
    H2,
    A3,
    B3,
    C3,
    D3,
    E3,
    F3,
    G3,
    H3,
    A4,
    B4,
    C4,
    D4,
    E4,
    F4,
    G4,
    H4,
    A5,
    B5,
    C5,
    D5,
    E5,
    F5,
    G5,
    H5,
    A6,
    B6,
    C6,
    D6,
    E6,
    F6,
    G6,
    H6,
    A7,
    B7,
    C7,
    D7,
    E7,
    F7,
    G7,
    H7,
    A8,
    B8,
    C8,
    D8,
    E8,
    F8,
    G8,
    H8,
};

inline constexpr int squareFile(int sq) { return sq & 7; }
inline constexpr int squareRank(int sq) { return sq >> 3; }
inline constexpr int squareMake(int file, int rank) { return rank * 8 + file; }

// Writes the name of the square ("e4") into a buffer of at least 3 bytes.
void squareToString(int sq, char* out);

// Square named by the first two characters of the text, or -1 after the input
// error "Wrong char (%c)!" when a character is not a lower-case file letter or
// a rank digit.
int stringToSquare(const char* text);
