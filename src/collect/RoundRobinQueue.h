#pragma once

#include <QString>

#include <algorithm>
#include <deque>
#include <map>
#include <optional>

// Items waiting for a slot, taken in turn by whose they are (a player, or an
// address): one with many waiting gets one slot for every one that each
// other waiting one gets, so no one fills the queue ahead of others.
template<typename Item>
class RoundRobinQueue
{
public:
    void push(const QString& address, Item item)
    {
        std::deque<Item>& waiting = m_byAddress[address];
        if (waiting.empty())
            m_turns.push_back(address);
        waiting.push_back(item);
        ++m_size;
    }

    // The first waiting item of the address whose turn it is.
    std::optional<Item> take()
    {
        if (m_turns.empty())
            return std::nullopt;
        const QString address = m_turns.front();
        m_turns.pop_front();
        std::deque<Item>& waiting = m_byAddress[address];
        Item item = waiting.front();
        waiting.pop_front();
        --m_size;
        if (waiting.empty())
            m_byAddress.erase(address);
        else
            m_turns.push_back(address);
        return item;
    }

    // Takes item out of the queue, where it waits.
    bool remove(const QString& address, const Item& item)
    {
        const auto found = m_byAddress.find(address);
        if (found == m_byAddress.end())
            return false;
        std::deque<Item>& waiting = found->second;
        const auto at = std::find(waiting.begin(), waiting.end(), item);
        if (at == waiting.end())
            return false;
        waiting.erase(at);
        --m_size;
        if (waiting.empty()) {
            m_byAddress.erase(found);
            m_turns.erase(std::find(m_turns.begin(), m_turns.end(), address));
        }
        return true;
    }

    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }

private:
    std::map<QString, std::deque<Item>> m_byAddress;
    std::deque<QString> m_turns;
    std::size_t m_size = 0;
};
