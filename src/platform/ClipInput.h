#pragma once

#include <QByteArray>

#include <optional>

struct AVFormatContext;
struct AVStream;

namespace ClipInput {

// Opens the local file at `encodedPath` with the QuickTime/MP4 reader alone, the only containers the app offers:
// a playlist or concat script under a clip's name must not make the reader open other files or addresses.
// `context` is allocated by the caller (with its interrupt callback, if any). FFmpeg's result: negative on failure,
// and the context is freed then.
int open(AVFormatContext** context, const QByteArray& encodedPath);

// The clip's video track: the default one, else the first; cover art stored as a one-picture track is not a video.
// -1 when there is none.
int videoStream(const AVFormatContext* format);

// The clip's length in seconds, from the container or else from the track, when either knows it.
std::optional<double> duration(const AVFormatContext* format, const AVStream* stream);

} // namespace ClipInput
