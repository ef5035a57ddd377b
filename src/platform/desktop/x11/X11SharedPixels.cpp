#include "X11SharedPixels.h"

#include "X11Connection.h"

#include <sys/ipc.h>
#include <sys/shm.h>


X11SharedPixels::~X11SharedPixels() { release(); }

void X11SharedPixels::release()
{
    if (!m_memory)
        return;
    if (!xcb_connection_has_error(m_connection)) {
        xcb_shm_detach(m_connection, m_segment);
        xcb_flush(m_connection);
    }
    shmdt(m_memory);
    m_memory = nullptr;
    m_size = 0;
    m_segment = 0;
}

bool X11SharedPixels::reserve(X11Connection& x, size_t bytes)
{
    xcb_connection_t* c = x.connection();
    if (m_memory && m_connection == c && m_size >= bytes)
        return true;
    release();
    // Whole pages, with room to grow a little before the next segment.
    size_t size = (bytes + bytes / 8 + 4095) & ~size_t(4095);
    int id = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    if (id < 0)
        return false;
    void* memory = shmat(id, nullptr, 0);
    // The segment goes when the last one detaches: neither a crash here nor
    // one of the server leaves it behind.
    shmctl(id, IPC_RMID, nullptr);
    if (memory == reinterpret_cast<void*>(-1))
        return false;
    xcb_shm_seg_t segment = xcb_generate_id(c);
    if (!x.check(xcb_shm_attach_checked(c, segment, id, 0))) {
        shmdt(memory);
        return false;
    }
    m_connection = c;
    m_memory = static_cast<uint8_t*>(memory);
    m_size = size;
    m_segment = segment;
    return true;
}
