#include "NSDateFormatter.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

// Seconds from 1970 to the platform's reference date, 2001-01-01 UTC.
constexpr double kReferenceDateOffset = 978307200;

struct Token {
    char letter { 0 };  // 0 for literal text
    int width { 0 };
    std::string literal;
};

std::vector<Token> tokenize(const std::string& format)
{
    std::vector<Token> tokens;
    auto literal = [&](const std::string& text) {
        if (!tokens.empty() && tokens.back().letter == 0)
            tokens.back().literal += text;
        else
            tokens.push_back({ 0, 0, text });
    };
    for (size_t i = 0; i < format.size();) {
        char c = format[i];
        if (c == '\'') {
            if (i + 1 < format.size() && format[i + 1] == '\'') {
                literal("'");
                i += 2;
                continue;
            }
            size_t end = format.find('\'', i + 1);
            if (end == std::string::npos)
                end = format.size();
            literal(format.substr(i + 1, end - i - 1));
            i = end + 1;
            continue;
        }
        if (std::isalpha(static_cast<unsigned char>(c))) {
            size_t j = i;
            while (j < format.size() && format[j] == c)
                ++j;
            tokens.push_back({ c, int(j - i), {} });
            i = j;
            continue;
        }
        literal(std::string(1, c));
        ++i;
    }
    return tokens;
}

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
long daysFromCivil(long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    long era = (y >= 0 ? y : y - 399) / 400;
    auto yoe = unsigned(y - era * 400);
    unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + long(doe) - 719468;
}

void civilFromDays(long z, long& y, unsigned& m, unsigned& d)
{
    z += 719468;
    long era = (z >= 0 ? z : z - 146096) / 146097;
    auto doe = unsigned(z - era * 146097);
    unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = long(yoe) + era * 400;
    unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp + (mp < 10 ? 3 : -9);
    y += m <= 2;
}

} // namespace

std::string NSDateFormatter::stringFromDate(const NSDate& date) const
{
    double seconds = std::floor(date.timeIntervalSinceReferenceDate + kReferenceDateOffset) + double(m_secondsFromGMT);
    auto total = long(seconds);
    long days = total / 86400;
    long rest = total % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    long year;
    unsigned month, day;
    civilFromDays(days, year, month, day);
    std::string out;
    for (const auto& token : tokenize(m_format)) {
        long value = 0;
        switch (token.letter) {
        case 0:
            out += token.literal;
            continue;
        case 'y':
            value = token.width == 2 ? year % 100 : year;
            break;
        case 'M':
            value = month;
            break;
        case 'd':
            value = day;
            break;
        case 'H':
            value = rest / 3600;
            break;
        case 'm':
            value = rest / 60 % 60;
            break;
        case 's':
            value = rest % 60;
            break;
        default:
            out += std::string(size_t(token.width), token.letter);
            continue;
        }
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%0*ld", token.width, value);
        out += buffer;
    }
    return out;
}

std::optional<NSDate> NSDateFormatter::dateFromString(const std::string& text) const
{
    long year = 2001, month = 1, day = 1, hour = 0, minute = 0, second = 0;
    size_t at = 0;
    for (const auto& token : tokenize(m_format)) {
        if (token.letter == 0) {
            if (text.compare(at, token.literal.size(), token.literal) != 0)
                return std::nullopt;
            at += token.literal.size();
            continue;
        }
        // A field of width 1 takes up to two digits; a wider one exactly
        // its width (a four-letter year up to four).
        size_t most = token.width == 1 ? 2 : size_t(token.width);
        size_t start = at;
        while (at < text.size() && at - start < most && std::isdigit(static_cast<unsigned char>(text[at])))
            ++at;
        if (at == start || (token.width > 1 && token.letter != 'y' && at - start != most))
            return std::nullopt;
        long value = std::stol(text.substr(start, at - start));
        switch (token.letter) {
        case 'y':
            year = token.width == 2 ? 2000 + value : value;
            break;
        case 'M':
            month = value;
            break;
        case 'd':
            day = value;
            break;
        case 'H':
            hour = value;
            break;
        case 'm':
            minute = value;
            break;
        case 's':
            second = value;
            break;
        default:
            return std::nullopt;
        }
    }
    if (at != text.size() || month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    long days = daysFromCivil(year, unsigned(month), unsigned(day));
    long y;
    unsigned m, d;
    civilFromDays(days, y, m, d);
    if (long(m) != month || long(d) != day)
        return std::nullopt;
    double seconds = double(days) * 86400 + double(hour * 3600 + minute * 60 + second) - double(m_secondsFromGMT);
    return NSDate { seconds - kReferenceDateOffset };
}
