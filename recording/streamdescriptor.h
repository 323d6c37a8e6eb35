#pragma once

#include <QMap>
#include <QString>

// Stream descriptor: the key/value pairs of one "STREAM" section (keys upper
// case) plus "FILENAME" and, when index files are written, "INDEX_FILENAME",
// added by the indexer. The one description of a stream passed between the
// indexer, the readers, the threads and the windows, by value.
using StreamDescriptor = QMap<QString, QString>;
