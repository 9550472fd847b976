#include "registry/DnsChannel.h"

#include <ares.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <utility>

namespace registry {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kClassInternet = 1;

// The response code a failure status stands for, when it stands for one.
std::string ServerSaid(int status) {
    switch (status) {
    case ARES_ESERVFAIL:
        return "SERVFAIL";
    case ARES_EREFUSED:
        return "REFUSED";
    case ARES_ENOTIMP:
        return "NOTIMP";
    case ARES_EFORMERR:
        return "FORMERR";
    default:
        return {};
    }
}

timeval ToTimeval(Clock::duration length) {
    const auto micro = std::chrono::duration_cast<std::chrono::microseconds>(length).count();
    const auto clamped = std::max<long long>(micro, 0);
    return {static_cast<time_t>(clamped / 1000000), static_cast<suseconds_t>(clamped % 1000000)};
}

Clock::duration FromTimeval(const timeval &value) {
    return std::chrono::seconds(value.tv_sec) + std::chrono::microseconds(value.tv_usec);
}

} // namespace

struct DnsChannel::Pending {
    DnsChannel *owner = nullptr;
    Done done;
    bool ended = false;
    // A failure of done, raised once control is back from the library (C code: nothing may be
    // thrown through it).
    std::exception_ptr failure;

    static void OnEnd(void *argument, int status, int, unsigned char *reply, int length) {
        auto *self = static_cast<Pending *>(argument);
        self->ended = true;
        --self->owner->open_;
        DnsQueryResult result;
        if (reply != nullptr && length > 0) {
            result.status = DnsQueryStatus::Answered;
            result.message.assign(reply, reply + length);
        } else if (status == ARES_ECANCELLED || status == ARES_EDESTRUCTION) {
            result.status = self->owner->ending_.value_or(DnsQueryStatus::Cancelled);
        } else if (status == ARES_ETIMEOUT) {
            result.status = DnsQueryStatus::TimedOut;
        } else if (const std::string said = ServerSaid(status); !said.empty()) {
            result.status = DnsQueryStatus::ServerFailed;
            result.serverSaid = said;
        } else {
            result.status = DnsQueryStatus::Failed;
        }
        result.reason = ares_strerror(status);
        try {
            self->done(std::move(result));
        } catch (...) {
            self->failure = std::current_exception();
        }
    }
};

DnsChannel::DnsChannel(const DnsChannelSettings &settings) {
    ares_options options{};
    // The first reply decides, a SERVFAIL or REFUSED included: the library would otherwise turn
    // it into "could not contact" and drop what the server said.
    options.flags = ARES_FLAG_NOSEARCH | ARES_FLAG_NOALIASES | ARES_FLAG_NOCHECKRESP;
    options.timeout = static_cast<int>(std::max<long long>(settings.tryTimeout.count(), 1));
    options.tries = std::max(settings.tries, 1);
    const int mask = ARES_OPT_FLAGS | ARES_OPT_TIMEOUTMS | ARES_OPT_TRIES;
    if (ares_init_options(&channel_, &options, mask) != ARES_SUCCESS)
        throw EDnsChannelError("The resolver cannot start.");
    if (settings.server) {
        ares_addr_port_node server{};
        server.family = AF_INET;
        server.addr.addr4.s_addr = settings.server->address;
        server.udp_port = settings.server->port;
        server.tcp_port = settings.server->port;
        if (ares_set_servers_ports(channel_, &server) != ARES_SUCCESS) {
            ares_destroy(channel_);
            throw EDnsChannelError("The resolver cannot take its server.");
        }
    }
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
        ares_destroy(channel_);
        throw EDnsChannelError("The resolver cannot start: no wake-up descriptor.");
    }
}

DnsChannel::~DnsChannel() {
    // Queries still open end now, as cancelled.
    ending_ = DnsQueryStatus::Cancelled;
    ares_destroy(channel_);
    ::close(wakeFd_);
}

void DnsChannel::Query(const std::string &name, std::uint16_t type, Done done) {
    auto pending = std::make_unique<Pending>();
    pending->owner = this;
    pending->done = std::move(done);
    Pending *argument = pending.get();
    pending_.push_back(std::move(pending));
    ++open_;
    ares_query(channel_, name.c_str(), kClassInternet, type, &Pending::OnEnd, argument);
}

void DnsChannel::Run(Clock::time_point deadline, std::stop_token stop) {
    while (open_ > 0) {
        if (stop.stop_requested()) {
            EndAll(DnsQueryStatus::Cancelled);
            break;
        }
        if (Clock::now() >= deadline) {
            EndAll(DnsQueryStatus::NoDeadline);
            break;
        }
        Serve(deadline, stop);
    }
    Sweep();
}

void DnsChannel::Serve(Clock::time_point until, std::stop_token stop) {
    const std::stop_callback wake(stop, [this] {
        const std::uint64_t one = 1;
        if (::write(wakeFd_, &one, sizeof one) < 0) {
            // The counter is already far from zero: the poll sees it readable anyway.
        }
    });
    if (stop.stop_requested())
        return;
    const auto now = Clock::now();
    timeval longest = ToTimeval(std::max(until - now, Clock::duration::zero()));
    timeval next{};
    const timeval *wait = ares_timeout(channel_, &longest, &next);
    PollOnce(now + FromTimeval(*wait));
    Sweep();
}

void DnsChannel::Sweep() {
    for (auto &pending : pending_)
        if (pending->failure)
            std::rethrow_exception(std::exchange(pending->failure, nullptr));
    std::erase_if(pending_, [](const auto &pending) { return pending->ended; });
}

void DnsChannel::PollOnce(Clock::time_point until) {
    ares_socket_t sockets[ARES_GETSOCK_MAXNUM];
    const int bits = ares_getsock(channel_, sockets, ARES_GETSOCK_MAXNUM);
    pollfd entries[ARES_GETSOCK_MAXNUM + 1];
    nfds_t count = 0;
    for (int i = 0; i < ARES_GETSOCK_MAXNUM; ++i) {
        short events = 0;
        if (ARES_GETSOCK_READABLE(bits, i))
            events |= POLLIN;
        if (ARES_GETSOCK_WRITABLE(bits, i))
            events |= POLLOUT;
        if (events == 0)
            break;
        entries[count++] = {sockets[i], events, 0};
    }
    entries[count] = {wakeFd_, POLLIN, 0};
    // Rounded up, so that a wait of less than a millisecond does not spin.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
    const int ready =
        poll(entries, count + 1, static_cast<int>(std::clamp<long long>(left, 0, 60000)));
    // Woken by the stop: the caller's loop sees it raised.
    if (ready > 0 && entries[count].revents != 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] const auto got = ::read(wakeFd_, &count, sizeof count);
        return;
    }
    if (ready < 0 && errno != EINTR)
        return;
    bool served = false;
    for (nfds_t i = 0; ready > 0 && i < count; ++i) {
        const short got = entries[i].revents;
        if (got == 0)
            continue;
        const bool readable = (got & (POLLIN | POLLERR | POLLHUP)) != 0;
        const bool writable = (got & (POLLOUT | POLLERR | POLLHUP)) != 0;
        ares_process_fd(channel_, readable ? entries[i].fd : ARES_SOCKET_BAD,
                        writable ? entries[i].fd : ARES_SOCKET_BAD);
        served = true;
    }
    // Nothing ready: the library ends or retries the queries whose try has timed out.
    if (!served)
        ares_process_fd(channel_, ARES_SOCKET_BAD, ARES_SOCKET_BAD);
}

void DnsChannel::EndAll(DnsQueryStatus status) {
    ending_ = status;
    ares_cancel(channel_);
    ending_.reset();
    Sweep();
}

} // namespace registry
