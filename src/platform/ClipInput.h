#pragma once

#include <QByteArray>

struct AVFormatContext;

namespace ClipInput {

// Opens the local file at `encodedPath` with the QuickTime/MP4 reader alone, the only containers the app offers:
// a playlist or concat script under a clip's name must not make the reader open other files or addresses.
// `context` is allocated by the caller (with its interrupt callback, if any). FFmpeg's result: negative on failure,
// and the context is freed then.
int open(AVFormatContext** context, const QByteArray& encodedPath);

} // namespace ClipInput
