#include "support/virtual_card.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "card/card_transport.h"

namespace quillon::test {
namespace {

constexpr uint8_t kAtr[] = {0x3B, 0x02, 0x14, 0x50};  // T=0, two historical bytes
constexpr uint16_t kMasterFile = 0x3F00;
constexpr size_t kLongRecord = 52;
constexpr size_t kRandomRecord = 42;

ByteVector Status(uint16_t sw) { return {static_cast<uint8_t>(sw >> 8), static_cast<uint8_t>(sw)}; }

bool ReadAll(int fd, uint8_t* buffer, size_t n) {
    while (n > 0) {
        const ssize_t got = ::recv(fd, buffer, n, 0);
        if (got <= 0) return false;
        // The reader writes the length and the payload separately: a delayed ACK of the
        // first would hold the second back by some 40 ms per message.
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
        buffer += got;
        n -= static_cast<size_t>(got);
    }
    return true;
}

bool Send(int fd, const ByteVector& payload) {
    ByteVector message = {static_cast<uint8_t>(payload.size() >> 8), static_cast<uint8_t>(payload.size())};
    message.insert(message.end(), payload.begin(), payload.end());
    return ::send(fd, message.data(), message.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(message.size());
}

uint16_t FileId(int slot, uint8_t file) { return static_cast<uint16_t>((slot == 1 ? 0xF300 : 0xF400) | file); }

}  // namespace

VirtualCard::VirtualCard() { Reset(); }

VirtualCard::~VirtualCard() { Remove(); }

bool VirtualCard::Insert(uint16_t port) {
    Remove();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (fd < 0) return false;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            const int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            socket_ = fd;
            connected_ = true;
            server_ = std::thread([this] { Serve(); });
            return true;
        }
        ::close(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

void VirtualCard::Remove() {
    if (socket_ < 0) return;
    ::shutdown(socket_, SHUT_RDWR);
    if (server_.joinable()) server_.join();
    ::close(socket_);
    socket_ = -1;
    connected_ = false;
}

void VirtualCard::Serve() {
    for (;;) {
        uint8_t header[2];
        if (!ReadAll(socket_, header, 2)) break;
        ByteVector payload(static_cast<size_t>(header[0] << 8 | header[1]));
        if (!ReadAll(socket_, payload.data(), payload.size())) break;
        if (payload.size() == 1) {
            if (payload[0] == 4) {
                if (!Send(socket_, ByteVector(std::begin(kAtr), std::end(kAtr)))) break;
            } else {  // power off, power on, reset: a new session
                std::lock_guard lock(mutex_);
                verified_ = false;
                current_df_ = current_ef_ = 0;
            }
            continue;
        }
        ByteVector reply;
        {
            std::lock_guard lock(mutex_);
            log_.push_back(payload);
            auto faulty = fault_ ? fault_(payload) : std::nullopt;
            reply = faulty ? *faulty : Answer(payload);
        }
        if (!Send(socket_, reply)) break;
    }
    ::shutdown(socket_, SHUT_RDWR);
    connected_ = false;
}

void VirtualCard::Reset(size_t records) {
    std::lock_guard lock(mutex_);
    files_.clear();
    for (int slot = 1; slot <= 2; ++slot) {
        files_[FileId(slot, 0)] = File{0, {}};
        files_[FileId(slot, 3)] = File{kLongRecord, std::vector<ByteVector>(records, ByteVector(kLongRecord))};
        files_[FileId(slot, 4)] = File{kLongRecord, std::vector<ByteVector>(records, ByteVector(kLongRecord))};
        files_[FileId(slot, 5)] = File{kRandomRecord, std::vector<ByteVector>(1, ByteVector(kRandomRecord))};
    }
    current_df_ = current_ef_ = 0;
    verified_ = false;
    tries_ = kPinTries;
    log_.clear();
    fault_ = nullptr;
}

ByteVector VirtualCard::Record(int slot, uint8_t file, size_t number) {
    std::lock_guard lock(mutex_);
    return files_.at(FileId(slot, file)).records.at(number - 1);
}

void VirtualCard::SetRecord(int slot, uint8_t file, size_t number, const ByteVector& record) {
    std::lock_guard lock(mutex_);
    File& f = files_.at(FileId(slot, file));
    f.records.at(number - 1) = record;
    f.record_size = record.size();
}

void VirtualCard::SetFault(Fault fault) {
    std::lock_guard lock(mutex_);
    fault_ = std::move(fault);
}

int VirtualCard::TriesLeft() {
    std::lock_guard lock(mutex_);
    return tries_;
}

std::vector<ByteVector> VirtualCard::Log() {
    std::lock_guard lock(mutex_);
    return log_;
}

ByteVector VirtualCard::Answer(const ByteVector& apdu) {
    if (apdu.size() < 4) return Status(0x6700);
    if (apdu[0] != 0x00) return Status(0x6E00);
    switch (apdu[1]) {
        case 0xA4: return Select(apdu);
        case 0x20: return Verify(apdu);
        case 0xB2: return ReadRecord(apdu);
        case 0xDC: return UpdateRecord(apdu);
        default: return Status(0x6D00);
    }
}

ByteVector VirtualCard::Select(const ByteVector& apdu) {
    if (apdu.size() == 4) {
        current_df_ = current_ef_ = 0;
        return Status(0x9000);
    }
    if (apdu.size() != 7 || apdu[4] != 2) return Status(0x6700);
    const uint16_t id = static_cast<uint16_t>(apdu[5] << 8 | apdu[6]);
    if (id == kMasterFile) {
        current_df_ = current_ef_ = 0;
        return Status(0x9000);
    }
    const auto file = files_.find(id);
    if (file == files_.end()) return Status(0x6A82);
    if ((id & 0xFF) == 0) {
        current_df_ = id;
        current_ef_ = 0;
        return Status(0x9000);
    }
    if ((id & 0xFF00) != current_df_) return Status(0x6A82);  // elementary files only under their own
    current_ef_ = id;
    return Status(0x9000);
}

ByteVector VirtualCard::Verify(const ByteVector& apdu) {
    if (apdu[2] != 0x00 || apdu[3] != 0x01) return Status(0x6A86);
    if (apdu.size() != 5 + 8 || apdu[4] != 8) return Status(0x6700);
    if (tries_ == 0) return Status(0x6983);
    if (ByteVector(apdu.begin() + 5, apdu.end()) == ByteVector(kPin, kPin + 8)) {
        tries_ = kPinTries;
        verified_ = true;
        return Status(0x9000);
    }
    verified_ = false;
    --tries_;
    return Status(static_cast<uint16_t>(0x63C0 | tries_));
}

VirtualCard::File* VirtualCard::CurrentFile() {
    const auto file = files_.find(current_ef_);
    return current_ef_ && file != files_.end() ? &file->second : nullptr;
}

ByteVector VirtualCard::ReadRecord(const ByteVector& apdu) {
    if (apdu.size() != 5 || apdu[3] != 0x04) return Status(0x6700);
    if (!verified_) return Status(0x6982);
    File* file = CurrentFile();
    if (!file) return Status(0x6986);
    const size_t number = apdu[2];
    if (number == 0 || number > file->records.size()) return Status(0x6A83);
    const size_t le = apdu[4] ? apdu[4] : 256;
    if (le != file->record_size) return Status(static_cast<uint16_t>(0x6C00 | file->record_size));
    ByteVector reply = file->records[number - 1];
    reply.push_back(0x90);
    reply.push_back(0x00);
    return reply;
}

ByteVector VirtualCard::UpdateRecord(const ByteVector& apdu) {
    if (apdu.size() < 6 || apdu[3] != 0x04 || apdu[4] != apdu.size() - 5) return Status(0x6700);
    if (!verified_) return Status(0x6982);
    File* file = CurrentFile();
    if (!file) return Status(0x6986);
    const size_t number = apdu[2];
    if (number == 0 || number > file->records.size()) return Status(0x6A83);
    if (apdu[4] != file->record_size) return Status(0x6700);
    file->records[number - 1].assign(apdu.begin() + 5, apdu.end());
    return Status(0x9000);
}

bool WaitForCard(bool present) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        CardConnection connection;
        bool connected = CARD_Bind(&connection) && CARD_Connect(&connection);
        CARD_Close(&connection);
        if (connected == present) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

VirtualCard& VirtualCardTest::card() {
    static VirtualCard the_card;
    return the_card;
}

void VirtualCardTest::SetUp() {
    if (!card().Inserted()) {
        ASSERT_TRUE(card().Insert()) << "no virtual reader listening on port " << VirtualCard::kReaderPort;
        ASSERT_TRUE(WaitForCard(true)) << "pcscd did not see the virtual card";
    }
    card().Reset();
}

}  // namespace quillon::test
