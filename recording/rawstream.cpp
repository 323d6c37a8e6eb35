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
    return readBytesWith([file] { return readByte(file); }, buffer, maximum, count);
}

int readString(FILE *file, unsigned char *buffer, int maximum, int *count)
{
    return readStringWith([file] { return readByte(file); }, buffer, maximum, count);
}
