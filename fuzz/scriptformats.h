#pragma once

// Input layouts shared by the fuzz targets that read them and the corpus
// generator that writes their seeds.

#include <QtGlobal>

// fuzz_ftpreplies: a flags byte, a two-byte big-endian length and that many
// bytes for the data connection, then NUL-separated replies: the greeting
// and one reply per command line.
namespace FtpScript {

enum Flags : quint8 {
    OperationMask = 0x03,   // one of Operation
    AbortOnStart = 0x04,    // abort() as soon as the transfer is announced
    CloseAtEnd = 0x08,      // the server drops the control connection after the last reply
    KeepDataOpen = 0x10,    // the data connection stays open after its bytes
    NamedCodec = 0x20,      // file names and listings in Windows-1251
    StopAtEnd = 0x40,       // stop() once the run ends
};
enum Operation : quint8 { List = 0, File = 1, ResumedFile = 2, LogInOnly = 3 };
constexpr char kReplySeparator = '\0';
constexpr ulong kResumePosition = 1000; // bytes

} // namespace FtpScript

// fuzz_tftpdownloader: a flags byte, then datagrams, each as a two-byte
// big-endian length and that many bytes.
namespace TftpScript {

enum Flags : quint8 {
    AnswerFromNewPort = 0x01, // answers come from a second port, as real devices send them
    TwoPerPacket = 0x02,      // two datagrams for every packet received
    StrayFirst = 0x04,        // a third port sends each datagram first (a foreign transfer id)
    SmallBlocks = 0x08,       // the request asks for 16-byte blocks
    Resume = 0x10,            // the file from byte kResumePosition
    FileNotList = 0x20,       // fetch a file instead of the file list
};
constexpr ulong kResumePosition = 1000; // bytes

} // namespace TftpScript

// fuzz_streamreaders: this many parameter bytes before the raw recording.
namespace StreamReadersInput {

constexpr int kParameterBytes = 8;

} // namespace StreamReadersInput
