#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "ravlin_export.h"

/// The DES file cipher (ECB, CBC, OFB, CFB with a unit of 1 to 8 bytes and a
/// feedback width in bits). Every enciphered file of the system uses CFB, unit 7,
/// feedback 59, with the key and initial vector below. One thread at a time;
/// objects share no state.
class RAVLIN_EXPORT CDes {
public:
    static constexpr const char* kKey = "3C91D07A5EF2B864";
    static constexpr const char* kIV = "7F0A2C6D19E4B358";
    static constexpr int kUnit = 7;
    static constexpr int kShift = 59;
    static constexpr int kLineBufferSize = 32768;

    CDes();
    /// Finishes an open write file as CloseWriteFile(1) does and closes both files.
    virtual ~CDes();
    CDes(const CDes&) = delete;
    CDes& operator=(const CDes&) = delete;

    /// Resets all state and prepares the key schedule. direction 0 deciphers,
    /// non-zero enciphers; mode 1 ECB, 2 CBC, 3 OFB, 4 CFB. Returns 0, or 1 when
    /// mode is CFB and unit * 8 > shift, or the parameters are out of range (mode
    /// not 1..4; for OFB and CFB a unit outside 1..8 or a shift outside 1..64).
    /// After a failure nothing is transformed until a Setting succeeds.
    int Setting(int direction, int mode, const char* keyHex, const char* ivHex, int unit, int shift);
    /// Setting with the system's parameters (CFB, unit 7, feedback 59, key and IV above).
    int SettingSystem(int direction) { return Setting(direction, 4, kKey, kIV, kUnit, kShift); }

    /// fopen "rb" (closing a file still open); returns 0 on success, 1 on failure.
    [[nodiscard]] virtual int OpenReadFile(const char* path);
    virtual void CloseReadFile();
    /// fopen "wb" (finishing a file still open as CloseWriteFile(1)); returns 0 on
    /// success, 1 on failure.
    [[nodiscard]] virtual int OpenWriteFile(const char* path);
    /// pad != 0 writes pending bytes zero-padded to a whole unit, pad == 0 drops
    /// them; then closes.
    virtual void CloseWriteFile(int pad);

    /// fseek on the read file, dropping bytes ReadLine had buffered; returns fseek's
    /// result, or -1 when no file is open.
    int Seek(long offset, int origin);
    /// Reads up to n bytes and transforms them; returns the transformed length, a
    /// short last read zero-padded to a whole unit (0 at end of file). n is cut down
    /// to whole units, so the padding never passes buf + n.
    int ReadData(char* buf, int n);
    /// One line of the transformed stream without its LF (and CR before it), cut to
    /// `size` characters (the rest of the line is dropped); buf must hold size + 1
    /// bytes. A last line without LF comes in pieces of size - 1 characters. Returns 0 = line stored,
    /// 1 = end of file, -1 = the line does not fit the line buffer (the next call
    /// goes on with the line after it) or size < 1.
    int ReadLine(char* buf, int size);
    /// Transforms and writes whole units; returns bytes written by this call, or -1
    /// (with a message on stderr) when no write file is open.
    int WriteData(const char* buf, int n);
    /// Writes text unchanged (not enciphered); returns the byte count, or -1 (with
    /// a message on stderr) when no write file is open.
    int WriteString(const char* text);
    /// Transforms buf in memory after zero-padding it to a whole unit (buf must have
    /// room); returns the padded length.
    int TransData(char* buf, int n);
    /// Transforms the whole read file into the write file.
    void Run();
    /// The reset that Setting starts with.
    void initDes();

    bool IsReadOpen() const { return m_readFile != nullptr; }
    bool IsWriteOpen() const { return m_writeFile != nullptr; }

private:
    virtual int Read(char* buf, int n);
    virtual int Write(const char* buf, int n);

    void transform(uint8_t* data, int units);
    int chunkSize() const;
    void clearLineBuffer();
    void dropLineBytes(int count);

    int m_direction = 0;
    int m_mode = 0; // 0 until a Setting succeeds: nothing is transformed
    int m_unit = 8;
    int m_shift = 0;
    int m_rest = 0;
    uint32_t m_roundKeys[32] = {}; // two words per round, in the order the rounds use them
    uint64_t m_register = 0;
    uint64_t m_key = 0; // the 64 key bits, most significant first
    uint64_t m_window = 0;
    std::FILE* m_readFile = nullptr;
    std::FILE* m_writeFile = nullptr;
    uint8_t m_pending[8] = {}; // fewer than one unit handed to WriteData
    int m_pendingLength = 0;
    std::vector<uint8_t> m_work; // WriteData and Run transform through it, one chunk at a time
    int m_lineStart = 0; // first unread byte of m_lineBuffer
    int m_lineLength = 0; // unread bytes from m_lineStart
    bool m_skipLine = false; // dropping the rest of a line that did not fit
    std::vector<char> m_lineBuffer;
};
