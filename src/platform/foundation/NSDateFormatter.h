// Date formatters: dates to text and back by a fixed pattern, in a time
// zone given as seconds east of UTC (UTC unless set).
//
// Pattern letters: yyyy (year), yy (two-digit year, 2000 to 2099 when
// read), MM and M (month), dd and d (day), HH and H (hour 0 to 23), mm
// (minute), ss (second). Text in single quotes is literal ('' is a quote);
// other characters that are not letters stand for themselves.
#pragma once

#include "NSObject.h"
#include "Value.h"

#include <optional>

class NSDateFormatter : public NSObject {
public:
    const std::string& dateFormat() const { return m_format; }
    void setDateFormat(const std::string& format) { m_format = format; }
    long secondsFromGMT() const { return m_secondsFromGMT; }
    void setSecondsFromGMT(long seconds) { m_secondsFromGMT = seconds; }

    std::string stringFromDate(const NSDate& date) const;
    // Null when the text does not match the pattern as a whole, or names a
    // day that does not exist.
    std::optional<NSDate> dateFromString(const std::string& text) const;

private:
    std::string m_format { "yyyy-MM-dd HH:mm:ss" };
    long m_secondsFromGMT { 0 };
};
