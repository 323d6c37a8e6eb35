#include "rawstream.h"

int skipBytes(FILE *file, int count)
{
    int last = 0;
    for (int i = 0; i < count; ++i) {
        last = readByte(file);
        if (last < 0)
            break;
    }
    return last;
}

int readBytes(FILE *file, unsigned char *buffer, int maximum, int *count)
{
    int stored = 0;
    int last = 0;
    while (stored < maximum) {
        last = readByte(file);
        if (last < 0)
            break;
        buffer[stored++] = static_cast<unsigned char>(last);
    }
    *count = stored;
    return last;
}

int readString(FILE *file, unsigned char *buffer, int maximum, int *count)
{
    int stored = 0;
    int last = 0;
    while (stored < maximum) {
        last = readByte(file);
        if (last <= 0)
            break;
        buffer[stored++] = static_cast<unsigned char>(last);
    }
    *count = stored;
    return last;
}
