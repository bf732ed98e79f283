#pragma once

#include <QString>

// The figures the receiver window shows while a file arrives. The progress
// bar holds its maximum and value as 32-bit floats, and the percentage is
// worked out in floats too, so a complete file of 3 bytes reads 99 %.

// The bar's value after a chunk of bytes: the sum rounded to a float.
float progressAfter(float value, qint64 bytes);

// floor(value × q), q being 100 ÷ maximum rounded to a float first;
// maximum is above 0.
qint64 completionPercent(float value, float maximum);
QString completionCaption(float value, float maximum);

// The bytes of the last tick in kilobytes, one decimal, rounded half away
// from zero: 12345 → "Average: 12.3 / KBps".
QString rateCaption(qint32 tickBytes);
