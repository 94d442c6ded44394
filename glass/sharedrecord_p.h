#ifndef SHAREDRECORD_P_H
#define SHAREDRECORD_P_H

// The one library-wide record behind every Glass handle: built by the first
// live handle, freed by the last. Plain and unlocked on purpose: only the GUI
// thread creates handles. Kept free of Qt and of platform headers so that the
// same counting runs in the native Windows tests.
template <typename Record>
class SharedRecord
{
public:
    using Create = Record *(*)();
    using Destroy = void (*)(Record *);

    constexpr SharedRecord(Create create, Destroy destroy)
        : m_create(create), m_destroy(destroy) {}

    SharedRecord(const SharedRecord &) = delete;
    SharedRecord &operator=(const SharedRecord &) = delete;

    void acquire()
    {
        if (m_count == 0)
            m_record = m_create();
        ++m_count;
    }

    void release()
    {
        if (--m_count != 0)
            return;
        m_destroy(m_record);
        m_record = nullptr;
    }

    Record *record() const { return m_record; }
    int count() const { return m_count; }

private:
    Create m_create;
    Destroy m_destroy;
    Record *m_record = nullptr;
    int m_count = 0;
};

#endif
