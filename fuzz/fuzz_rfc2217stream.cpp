// Feeds fuzz bytes as what an RFC 2217 server sends, once whole and once in
// pieces, and checks that the pieces change nothing, that every answer is a
// whole option reply, and that no more answers go out than requests came.
//
// Input: byte 0 is the piece size (1 + byte modulo 16); the rest is the
// server's stream.

#include "fuzzcheck.h"
#include "link/rfc2217codec.h"

#include <algorithm>

namespace {

struct Seen
{
    QByteArray data;
    QByteArray replies;
    bool accepted = false;
    bool refused = false;
    int parityAnswers = 0;
};

Seen Run(const uint8_t *stream, size_t length, size_t piece)
{
    Rfc2217Codec codec;
    codec.Opening();
    Seen seen;
    for (size_t at = 0; at < length; at += piece) {
        const size_t n = std::min(piece, length - at);
        codec.Feed(reinterpret_cast<const char *>(stream + at), int(n), seen.data);
        seen.replies += codec.TakeReplies();
    }
    seen.accepted = codec.ComPortAccepted();
    seen.refused = codec.ComPortRefused();
    seen.parityAnswers = codec.Answers(Rfc2217Codec::kSetParity);
    return seen;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const size_t piece = 1 + data[0] % 16;
    const uint8_t *stream = data + 1;
    const size_t length = size - 1;

    const Seen whole = Run(stream, length, std::max<size_t>(length, 1));
    const Seen pieces = Run(stream, length, piece);
    Check(whole.data == pieces.data);
    Check(whole.replies == pieces.replies);
    Check(whole.accepted == pieces.accepted && whole.refused == pieces.refused);
    Check(whole.parityAnswers == pieces.parityAnswers);

    // Data never grows: every data byte came in, escaped or not.
    Check(whole.data.size() <= qsizetype(length));
    // Answers are IAC, a verb and an option, one per request at most.
    Check(whole.replies.size() % 3 == 0);
    int requests = 0;
    for (size_t i = 0; i + 2 < length; ++i) {
        if (stream[i] == Rfc2217Codec::kIac && stream[i + 1] >= Rfc2217Codec::kWill &&
            stream[i + 1] <= Rfc2217Codec::kDont)
            ++requests;
    }
    Check(whole.replies.size() / 3 <= requests);
    for (qsizetype i = 0; i < whole.replies.size(); i += 3) {
        Check(quint8(whole.replies[i]) == Rfc2217Codec::kIac);
        const auto verb = quint8(whole.replies[i + 1]);
        Check(verb >= Rfc2217Codec::kWill && verb <= Rfc2217Codec::kDont);
    }
    return 0;
}
