#include "net/IdTCPConnection.h"

#include "net/IdException.h"

#include <algorithm>
#include <climits>

namespace net {
namespace {

constexpr int kPollForCloseMs = 1;

// Cuts a stream at its position when the bytes written end before its end; run on every way
// out of a read so the stream never carries bytes that did not arrive.
class StreamEndGuard {
public:
    explicit StreamEndGuard(base::TStream &stream) : stream_(stream) {}
    ~StreamEndGuard() {
        if (stream_.Size() > stream_.Position())
            stream_.SetSize(stream_.Position());
    }
    StreamEndGuard(const StreamEndGuard &) = delete;
    StreamEndGuard &operator=(const StreamEndGuard &) = delete;

private:
    base::TStream &stream_;
};

} // namespace

void TIdConnectionIntercept::Connect(TIdTCPConnection &) {}

void TIdConnectionIntercept::Disconnect(TIdTCPConnection &) {}

int TIdConnectionIntercept::Receive(TIdTCPConnection &connection, void *buffer, int length,
                                    int timeoutMs) {
    auto &socket = connection.Socket();
    if (!socket.IsReadable(timeoutMs))
        return kInterceptTimedOut;
    const int received = socket.ReceiveBytes(buffer, length);
    if (received == Id_SOCKET_ERROR)
        TIdStack::FailWithSocketError(connection.Stack().WSGetLastError());
    return received;
}

int TIdConnectionIntercept::Send(TIdTCPConnection &connection, const void *buffer, int length) {
    const int sent = connection.Socket().SendBytes(buffer, length);
    if (sent == Id_SOCKET_ERROR)
        TIdStack::FailWithSocketError(connection.Stack().WSGetLastError());
    return sent;
}

std::unique_ptr<TIdInterceptState> TIdConnectionIntercept::Detach(TIdTCPConnection &) {
    return nullptr;
}

bool TIdConnectionIntercept::Adopt(TIdTCPConnection &, std::unique_ptr<TIdInterceptState>) {
    return false;
}

TIdTCPConnection::TIdTCPConnection() : TIdTCPConnection(NetworkContext()) {}

TIdTCPConnection::TIdTCPConnection(const NetworkContext &context)
    : TIdComponent(context), ConnectTimeout(context.ConnectTimeout),
      ReadTimeout(context.ReadTimeout), RequestTimeout(context.RequestTimeout), socket_(Stack()) {}

void TIdTCPConnection::BeginExchange() {
    exchangeDeadline_ =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(RequestTimeout, 0));
}

void TIdTCPConnection::EndExchange() {
    exchangeDeadline_.reset();
}

int TIdTCPConnection::WithinExchange(int timeoutMs) const {
    if (!exchangeDeadline_)
        return timeoutMs;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          *exchangeDeadline_ - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0)
        TIdStack::FailWithSocketError(Id_WSAETIMEDOUT);
    const int wait = timeoutMs < 0 ? ReadTimeout : timeoutMs;
    return static_cast<int>(std::min<long long>(wait, left));
}

TIdTCPConnection::~TIdTCPConnection() = default;

void TIdTCPConnection::SetInterceptEnabled(bool enabled) {
    if (enabled && intercept_ == nullptr)
        throw EIdInterceptPropIsNil();
    interceptEnabled_ = enabled;
}

void TIdTCPConnection::NotifyDisconnected() {
    if (OnDisconnected)
        OnDisconnected(*this);
}

void TIdTCPConnection::ResetState() {
    socket_.Reset();
    inputBuffer_.Clear();
    closedGracefully_ = false;
}

void TIdTCPConnection::CheckClosed(bool raiseIfClosed, bool ignoreBuffer) {
    if (!closedGracefully_ && socket_.HandleAllocated())
        return;
    if (socket_.HandleAllocated())
        DropSocket();
    if (raiseIfClosed && (ignoreBuffer || inputBuffer_.Empty()))
        throw EIdConnClosedGracefully();
}

void TIdTCPConnection::PollForClose(bool raiseIfClosed) {
    ReadFromSocket(raiseIfClosed, kPollForCloseMs, true);
}

bool TIdTCPConnection::IsConnected() {
    CheckClosed(false, false);
    return socket_.HandleAllocated();
}

void TIdTCPConnection::CloseConnection() {
    DropSocket();
}

void TIdTCPConnection::DropSocket() {
    if (socket_.HandleAllocated()) {
        NotifyStatus(TIdStatus::hsDisconnecting, socket_.PeerIP());
        socket_.ReleaseHandle();
        closedGracefully_ = true;
        NotifyStatus(TIdStatus::hsDisconnected);
        NotifyDisconnected();
        if (interceptEnabled_)
            intercept_->Disconnect(*this);
    }
}

std::string TIdTCPConnection::TakeFromBuffer(std::size_t count) {
    if (count > inputBuffer_.View().size())
        throw EIdNotEnoughDataInBuffer();
    std::string taken(inputBuffer_.View().substr(0, count));
    DiscardFromBuffer(count);
    return taken;
}

void TIdTCPConnection::DiscardFromBuffer(std::size_t count) {
    inputBuffer_.Remove(count);
    AdvanceProgress(TWorkMode::wmRead, static_cast<int>(count));
}

int TIdTCPConnection::ReadFromSocket(bool raiseIfClosed, int timeoutMs, bool useBuffer,
                                     std::vector<char> *destination) {
    CheckClosed(raiseIfClosed, false);
    if (!IsConnected())
        return 0;
    if (destination == nullptr) {
        recvBuffer_.resize(static_cast<std::size_t>(std::max(RecvBufferSize, 1)));
        destination = &recvBuffer_;
    }
    const bool unbounded = timeoutMs == IdTimeoutInfinite;
    const int wait = WithinExchange(unbounded ? ReadTimeout : timeoutMs);
    // Waiting without limit is bounded by ReadTimeout, and every wait by the exchange's end;
    // giving up there is a failure.
    const bool failOnTimeout = unbounded || (exchangeDeadline_ && wait < timeoutMs);
    int received = 0;
    if (interceptEnabled_) {
        // The intercept may hold bytes already decoded, so it, not the socket, says whether
        // anything can be read.
        received = intercept_->Receive(*this, destination->data(),
                                       static_cast<int>(destination->size()), wait);
        if (received == TIdConnectionIntercept::kInterceptTimedOut) {
            if (failOnTimeout)
                TIdStack::FailWithSocketError(Id_WSAETIMEDOUT);
            return 0;
        }
    } else {
        if (!socket_.IsReadable(wait)) {
            if (failOnTimeout)
                TIdStack::FailWithSocketError(Id_WSAETIMEDOUT);
            return 0;
        }
        received = socket_.ReceiveBytes(destination->data(), static_cast<int>(destination->size()));
    }
    closedGracefully_ = received == 0;
    if (received == Id_SOCKET_ERROR) {
        const int number = Stack().WSGetLastError();
        if (number != Id_WSAESHUTDOWN)
            TIdStack::FailWithSocketError(number);
        received = 0;
        DropSocket();
        if (inputBuffer_.Empty())
            TIdStack::FailWithSocketError(number);
    }
    if (received > 0 && ASCIIFilter)
        for (int i = 0; i < received; ++i)
            (*destination)[i] = static_cast<char>((*destination)[i] & 0x7F);
    if (useBuffer)
        inputBuffer_.Write(destination->data(), static_cast<std::size_t>(received));
    else
        AdvanceProgress(TWorkMode::wmRead, received);
    CheckClosed(raiseIfClosed, false);
    return received;
}

std::string TIdTCPConnection::ReadLine(const std::string &terminator, int timeoutMs) {
    const std::string &ending = terminator.empty() ? std::string("\n") : terminator;
    readLnTimedOut_ = false;
    std::size_t found = std::string_view::npos;
    std::size_t searched = 0;
    for (;;) {
        if (!inputBuffer_.Empty()) {
            // Bytes already searched hold no terminator; only the last few may start one.
            const std::size_t from = searched >= ending.size() ? searched - ending.size() + 1 : 0;
            found = inputBuffer_.View().find(ending, from);
            if (found != std::string_view::npos)
                break;
            searched = inputBuffer_.View().size();
            if (searched > MaxLineLength)
                throw EIdException("Reply line too long.");
        }
        CheckClosed(true, true);
        const int received = ReadFromSocket(true, timeoutMs, true);
        readLnTimedOut_ = received == 0;
        if (received == 0)
            return {};
    }
    if (found > MaxLineLength)
        throw EIdException("Reply line too long.");
    std::string line = TakeFromBuffer(found + ending.size());
    line.resize(found);
    if (terminator.empty() || terminator == "\n")
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
    return line;
}

void TIdTCPConnection::ReadToStream(base::TStream &stream, std::int64_t count, bool untilClose,
                                    std::int64_t maxBytes) {
    StreamEndGuard cutAtEnd(stream);
    BeginProgress(TWorkMode::wmRead,
                  untilClose ? 0 : static_cast<int>(std::min<std::int64_t>(count, INT_MAX)));
    std::int64_t remaining = untilClose ? INT32_MAX : count;
    // One byte past the limit tells a body that is too large from one that just fits.
    const std::int64_t allowed = maxBytes == INT64_MAX ? maxBytes : maxBytes + 1;
    remaining = std::min(remaining, allowed);
    std::int64_t written = 0;

    const auto buffered = static_cast<std::int64_t>(inputBuffer_.View().size());
    const std::int64_t fromBuffer = std::min(buffered, remaining);
    if (fromBuffer > 0) {
        stream.Write(inputBuffer_.View().data(), static_cast<std::size_t>(fromBuffer));
        DiscardFromBuffer(static_cast<std::size_t>(fromBuffer));
        remaining -= fromBuffer;
        written += fromBuffer;
    }
    std::vector<char> scratch;
    while (remaining >= 1 && IsConnected()) {
        scratch.resize(static_cast<std::size_t>(
            std::min<std::int64_t>(remaining, std::max(RecvBufferSize, 1))));
        const int received = ReadFromSocket(!untilClose, IdTimeoutInfinite, false, &scratch);
        stream.Write(scratch.data(), static_cast<std::size_t>(received));
        remaining -= received;
        written += received;
    }
    EndProgress(TWorkMode::wmRead);
    if (written > maxBytes) {
        stream.SetPosition(stream.Position() - (written - maxBytes));
        throw EIdException("Reply body too large.");
    }
}

void TIdTCPConnection::WriteBytes(const void *bytes, std::int64_t count) {
    if (count <= 0 || bytes == nullptr)
        return;
    CheckClosed(true, true);
    const auto *next = static_cast<const char *>(bytes);
    std::int64_t sent = 0;
    while (sent < count) {
        const int piece = static_cast<int>(std::min<std::int64_t>(count - sent, INT_MAX));
        const int result = interceptEnabled_ ? intercept_->Send(*this, next + sent, piece)
                                             : socket_.SendBytes(next + sent, piece);
        closedGracefully_ = result == 0;
        CheckClosed(true, false);
        if (result == Id_SOCKET_ERROR) {
            const int number = Stack().WSGetLastError();
            if (number == Id_WSAESHUTDOWN)
                DropSocket();
            TIdStack::FailWithSocketError(number);
        }
        AdvanceProgress(TWorkMode::wmWrite, result);
        sent += result;
    }
}

void TIdTCPConnection::WriteText(const std::string &text) {
    if (!text.empty())
        WriteBytes(text.data(), static_cast<std::int64_t>(text.size()));
}

void TIdTCPConnection::WriteLine(const std::string &text) {
    WriteText(text + "\r\n");
}

} // namespace net
