#include "sessionlink.h"

bool SessionLink::post(const SessionRequest &request)
{
    std::lock_guard<std::mutex> lock(m_requestLock);
    m_requests.push_back(request);
    const bool wake = !m_requestsWaking;
    m_requestsWaking = true;
    return wake;
}

std::vector<SessionRequest> SessionLink::takeRequests()
{
    std::vector<SessionRequest> requests;
    std::lock_guard<std::mutex> lock(m_requestLock);
    requests.swap(m_requests);
    m_requestsWaking = false;
    return requests;
}

bool SessionLink::post(const ConsoleEvent &event)
{
    std::lock_guard<std::mutex> lock(m_mailLock);
    if (m_events.size() >= size_t(kMaxWaitingEvents)) {
        m_events.pop_front();
        ++m_lost;
    }
    m_events.push_back(event);
    ++m_posted;
    const bool wake = !m_mailWaking;
    m_mailWaking = true;
    return wake;
}

bool SessionLink::post(SessionNotice notice)
{
    std::lock_guard<std::mutex> lock(m_mailLock);
    notice.afterEvents = m_posted;
    m_notices.push_back(std::move(notice));
    const bool wake = !m_mailWaking;
    m_mailWaking = true;
    return wake;
}

SessionLink::Mail SessionLink::takeMail()
{
    Mail mail;
    std::deque<ConsoleEvent> events;
    {
        // Only swapped under the lock: the session's thread never waits on a copy.
        std::lock_guard<std::mutex> lock(m_mailLock);
        events.swap(m_events);
        mail.firstEvent = m_posted - quint64(events.size());
        mail.notices.swap(m_notices);
        mail.lost = m_lost;
        m_lost = 0;
        m_mailWaking = false;
    }
    mail.events.reserve(int(events.size()));
    for (ConsoleEvent &e : events)
        mail.events.append(std::move(e));
    return mail;
}

void SessionLink::markFinished()
{
    std::lock_guard<std::mutex> lock(m_finishLock);
    m_finished = true;
    m_finishedChanged.notify_all();
}

void SessionLink::waitFinished()
{
    std::unique_lock<std::mutex> lock(m_finishLock);
    m_finishedChanged.wait(lock, [this] { return m_finished; });
}
