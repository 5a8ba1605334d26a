#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

/// A response body's content coding, as far as the relay can read it.
enum class BodyEncoding {
    Identity, ///< no coding (no value, or only "identity")
    Gzip, ///< "gzip" or "x-gzip"
    Deflate, ///< "deflate": a zlib stream, or raw deflate data as some servers send
    Brotli, ///< "br"
    Unsupported, ///< anything else, codings stacked, or a value that cannot be read
};

/// Reads a Content-Encoding value (several header lines joined with commas).
BodyEncoding EncodingOf(std::string_view contentEncoding);

/// Decodes one response body fed to it piece by piece, handing the decoded bytes on in
/// pieces of at most kOutputPiece bytes. Bytes after the end of the coded data are
/// dropped: nothing undecoded ever comes out.
class BodyDecoder {
public:
    static constexpr size_t kOutputPiece = 16384;
    /// Receives decoded bytes; false stops the decoding.
    using Output = std::function<bool(const char* bytes, size_t length)>;
    enum class Result {
        Ok, ///< everything fed so far is decoded
        Stopped, ///< the output asked to stop
        Corrupt, ///< the data is not of its coding
        TooLarge, ///< the decoded body would grow beyond maxOutput; maxOutput bytes came out
    };

    /// A decoder for encoding (not Identity or Unsupported: those decode nothing and
    /// every Feed reports Corrupt). At most maxOutput decoded bytes ever come out.
    BodyDecoder(BodyEncoding encoding, uint64_t maxOutput);
    ~BodyDecoder();
    BodyDecoder(const BodyDecoder&) = delete;
    BodyDecoder& operator=(const BodyDecoder&) = delete;

    /// Decodes the next piece of the coded body. After any result but Ok the decoder
    /// takes nothing more (every later Feed returns the same result).
    [[nodiscard]] Result Feed(const char* bytes, size_t length, const Output& output);

    /// Decoded bytes handed out so far.
    uint64_t Produced() const { return m_produced; }

private:
    struct State;
    Result deliver(const char* bytes, size_t length, const Output& output);
    Result inflate(const char* bytes, size_t length, const Output& output);
    Result brotli(const char* bytes, size_t length, const Output& output);

    BodyEncoding m_encoding;
    uint64_t m_maxOutput;
    uint64_t m_produced = 0;
    Result m_result = Result::Ok;
    bool m_finished = false; // the coded data ended; what follows is dropped
    std::unique_ptr<State> m_state;
};
