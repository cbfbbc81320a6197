#include "base/square.h"

#include "base/output.h"

void squareToString(int sq, char* out) {
    out[0] = static_cast<char>('a' + squareFile(sq));
    out[1] = static_cast<char>('1' + squareRank(sq));
    out[2] = 0;
}

int stringToSquare(const char* text) {
    if (text[0] < 'a' || text[0] > 'h') {
        inputError("Wrong char (%c)!\n", text[0]);
        return -1;
    }
    if (text[1] < '1' || text[1] > '8') {
        inputError("Wrong char (%c)!\n", text[1]);
        return -1;
    }
    return squareMake(text[0] - 'a', text[1] - '1');
}
