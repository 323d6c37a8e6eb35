#pragma once

// Keeps a scripted FTP conversation on this machine. The FTP client opens
// its data connection to whatever address a passive-mode reply names, so
// every reply a fuzzer writes goes through confineReply() before the client
// sees it.

#include <QByteArray>
#include <QtGlobal>

namespace FtpReplyConfinement {

// Lines at least this long may be cut by the client's line limit (4096
// bytes); they lose their commas, so no cut piece can hold an address.
constexpr int kLongLineBytes = 4000;

// The reply as the client reads it, line by line: the first address the
// client would accept in each line now names 127.0.0.1 and dataPort (a
// line whose first address still names anything else is replaced by a
// refusal), and the reply ends with a line end, so no line spans two
// replies.
QByteArray confineReply(const QByteArray &reply, quint16 dataPort);

} // namespace FtpReplyConfinement
