// A virtual smart card for the vsmartcard virtual reader (vpcd): it connects to the reader's
// port like a card entering a slot and answers what pcscd sends through it. Every message is a
// 2-byte big-endian length and a payload; a 1-byte payload is a control code (0 power off,
// 1 power on, 2 reset, 4 send the ATR), anything longer a command APDU.
//
// The card: a master file; dedicated files F300 and F400, each with three record files
// (xx03 and xx04 of 52-byte records, xx05 of one 42-byte record); an 8-character PIN with a
// tries counter (63 Cx, then 69 83 when blocked); READ RECORD that answers 6C XX unless Le is
// the record's length and 6A 83 past the last record; UPDATE RECORD; a log of every APDU.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <gtest/gtest.h>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace quillon::test {

using ByteVector = std::vector<uint8_t>;

class VirtualCard {
public:
    static constexpr char kPin[] = "12345678";
    static constexpr int kPinTries = 3;
    static constexpr uint16_t kReaderPort = 35963;
    static constexpr size_t kDefaultRecords = 60;  // 3,000 bytes per file

    VirtualCard();
    ~VirtualCard();
    VirtualCard(const VirtualCard&) = delete;
    VirtualCard& operator=(const VirtualCard&) = delete;

    // Connects to the reader (retrying while it is not listening yet): true once connected.
    bool Insert(uint16_t port = kReaderPort);
    // Leaves the reader.
    void Remove();
    bool Inserted() const { return connected_; }

    // Fresh files of `records` zero records each, PIN tries restored, log and fault cleared.
    void Reset(size_t records = kDefaultRecords);
    // Record `number` (from 1) of a slot's file 3, 4 or 5 as the card holds it.
    ByteVector Record(int slot, uint8_t file, size_t number);
    void SetRecord(int slot, uint8_t file, size_t number, const ByteVector& record);
    int TriesLeft();
    std::vector<ByteVector> Log();

    // Answers instead of the card whenever `fault` gives a reply (which may be shorter than a
    // status word); nullopt lets the card answer.
    using Fault = std::function<std::optional<ByteVector>(const ByteVector& apdu)>;
    void SetFault(Fault fault);

private:
    struct File {
        size_t record_size;
        std::vector<ByteVector> records;
    };

    void Serve();
    ByteVector Answer(const ByteVector& apdu);
    ByteVector Select(const ByteVector& apdu);
    ByteVector Verify(const ByteVector& apdu);
    ByteVector ReadRecord(const ByteVector& apdu);
    ByteVector UpdateRecord(const ByteVector& apdu);
    File* CurrentFile();

    std::mutex mutex_;
    int socket_ = -1;
    std::atomic<bool> connected_{false};
    std::thread server_;
    std::map<uint16_t, File> files_;  // by identifier
    uint16_t current_df_ = 0;         // 0: the master file
    uint16_t current_ef_ = 0;
    bool verified_ = false;
    int tries_ = kPinTries;
    std::vector<ByteVector> log_;
    Fault fault_;
};

// Waits (up to 10 s) until the first reader holds a card, or none: true when it came to be.
bool WaitForCard(bool present);

// A test with the virtual card in the first reader, fresh for every test.
class VirtualCardTest : public ::testing::Test {
protected:
    void SetUp() override;
    static VirtualCard& card();
};

}  // namespace quillon::test
