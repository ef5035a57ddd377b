// Saves a Cairo context's state on construction and restores it on
// destruction, so that no early return or exception leaves it changed.
#pragma once

#include <cairo.h>

class CairoStateSaver {
public:
    explicit CairoStateSaver(cairo_t* cr)
        : m_cr(cr)
    {
        if (m_cr)
            cairo_save(m_cr);
    }
    ~CairoStateSaver()
    {
        if (m_cr)
            cairo_restore(m_cr);
    }
    CairoStateSaver(const CairoStateSaver&) = delete;
    CairoStateSaver& operator=(const CairoStateSaver&) = delete;

private:
    cairo_t* m_cr;
};
