#pragma once
// A folder's items as listed when it was opened, less those deleted since.
// Deleting an item moves the later ones down by one, as the client's
// collections do; a count of the items left per range of slots (a Fenwick
// tree) finds the i-th one without shifting the rest.
#include <QtGlobal>

#include <bit>
#include <vector>

namespace platform::outlook {

class ItemSlots
{
public:
    void reset(size_t listed)
    {
        m_removed.assign(listed, false);
        m_left.assign(listed + 1, 0);
        m_count = int(listed);
        for (size_t i = 1; i < m_left.size(); ++i) {
            m_left[i] += 1;
            if (const size_t up = i + (i & (~i + 1)); up < m_left.size())
                m_left[up] += m_left[i];
        }
    }
    int count() const { return m_count; }
    bool isRemoved(qsizetype slot) const { return m_removed[size_t(slot)]; }
    // False when the slot was removed already.
    bool remove(qsizetype slot)
    {
        if (slot < 0 || m_removed[size_t(slot)])
            return false;
        m_removed[size_t(slot)] = true;
        --m_count;
        for (size_t i = size_t(slot) + 1; i < m_left.size(); i += i & (~i + 1))
            --m_left[i];
        return true;
    }
    // The index (1-based) among the items left of a slot not removed.
    int indexOf(qsizetype slot) const
    {
        int index = 0;
        for (size_t i = size_t(slot) + 1; i > 0; i -= i & (~i + 1))
            index += m_left[i];
        return index;
    }
    // The slot of the index-th item left (1-based, within count()).
    qsizetype slotOf(int index) const
    {
        if (m_count == int(m_removed.size()))
            return index - 1;
        size_t pos = 0;
        int rest = index;
        for (size_t step = std::bit_floor(m_left.size()); step > 0; step >>= 1) {
            if (pos + step < m_left.size() && m_left[pos + step] < rest) {
                pos += step;
                rest -= m_left[pos];
            }
        }
        return qsizetype(pos);
    }

private:
    std::vector<bool> m_removed;
    std::vector<int> m_left;
    int m_count = 0;
};

} // namespace platform::outlook
