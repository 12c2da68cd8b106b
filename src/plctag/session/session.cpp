#include "session/session.h"

#include "libplctag.h"

namespace plctag {

Session::Session(std::string key, SessionConfig cfg)
    : key_(std::move(key)), cfg_(std::move(cfg)), link_(key_, cfg_.family ? cfg_.family->protocol : nullptr),
      connection_(key_, cfg_, link_), packer_(key_, cfg_.maxPacked, jobs_, token_, connection_), jobs_(&packer_)
{
}

Session::~Session()
{
    close(Clock::now() + std::chrono::milliseconds(100));
}

void Session::wake()
{
    token_.wakeAll();
    link_.wake();
}

int Session::transact(const std::vector<uint8_t> &request, std::vector<uint8_t> *reply, Clock::time_point deadline,
                      const Cancel &cancel)
{
    int rc = token_.acquire(deadline, cancel, false);
    if (rc != PLCTAG_STATUS_OK)
        return rc;
    rc = connection_.exchange(request, reply, deadline, cancel);
    token_.release();
    return rc;
}

void Session::close(Clock::time_point deadline)
{
    if (!jobs_.close())
        return;
    token_.close();
    link_.halt(true);
    jobs_.join();
    // The holder of the wire, if any, sees the close and lets go.
    if (token_.acquire(deadline, Cancel(), true) != PLCTAG_STATUS_OK)
        return;
    // The close's own exchange must not be cut short by the halt.
    link_.halt(false);
    connection_.close(deadline);
    link_.halt(true);
    token_.release();
}

} // namespace plctag
