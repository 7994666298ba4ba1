// Writing the bootstrap image out for the device library to read.
#pragma once

#include <QString>

// Creates the file, or empties it when it exists, and writes one byte per character (Latin-1).
// Other processes may read the file while it is written, but not write it. A symbolic link, a
// file that is not a regular one or a file of another user is refused rather than overwritten:
// the file lives in the shared temporary folder. Throws TVornikError on any failure.
void WriteTextFile(const QString &text, const QString &path);
