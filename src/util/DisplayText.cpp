#include "util/DisplayText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "util/CivilDate.h"

namespace lorvex {

namespace {

// 30 December 1899 to 1 January 1970.
constexpr long long kDaysFrom1899To1970 = 25569;

}  // namespace

long long DaysSince1899(int year, int month, int day) {
  return DaysSince1970(year, month, day) + kDaysFrom1899To1970;
}

double DateTimeOf(int year, int month, int day, int hour, int minute, int second, int millisecond) {
  double time = ((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + millisecond;
  return double(DaysSince1899(year, month, day)) + time / kMillisecondsPerDay;
}

TimeOfDay TimeOfDayOf(double dateTime) {
  long long ms = std::llround((dateTime - std::floor(dateTime)) * kMillisecondsPerDay);
  ms = std::clamp<long long>(ms, 0, 86399999);
  return TimeOfDay{int(ms / 3600000), int(ms / 60000 % 60), int(ms / 1000 % 60), int(ms % 1000)};
}

std::string GeneralFloatText(double value, char decimalSeparator) {
  if (value == 0 || !std::isfinite(value)) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
    return "0";
  }
  // 15 significant digits: "d.dddddddddddddde+XX".
  char scientific[40];
  std::snprintf(scientific, sizeof scientific, "%.14e", std::fabs(value));
  std::string digits;
  digits += scientific[0];
  digits.append(scientific + 2, 14);
  int exponent = std::atoi(scientific + 17);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string text = value < 0 ? "-" : "";
  if (exponent >= -5 && exponent < 15) {
    if (exponent >= 0) {
      size_t integerDigits = size_t(exponent) + 1;
      if (digits.size() <= integerDigits) {
        text += digits;
        text.append(integerDigits - digits.size(), '0');
      } else {
        text += digits.substr(0, integerDigits);
        text += decimalSeparator;
        text += digits.substr(integerDigits);
      }
    } else {
      text += '0';
      text += decimalSeparator;
      text.append(size_t(-exponent - 1), '0');
      text += digits;
    }
  } else {
    text += digits[0];
    if (digits.size() > 1) {
      text += decimalSeparator;
      text += digits.substr(1);
    }
    text += 'E';
    text += std::to_string(exponent);
  }
  return text;
}

std::string SpeedText(double rate, char decimalSeparator) {
  std::string text = GeneralFloatText(rate, decimalSeparator);
  size_t separator = text.find(decimalSeparator);
  if (separator != std::string::npos) text.resize(std::min(text.size(), separator + 3));
  return text + " kb/sec";
}

TransferTexts MakeTransferTexts(uint32_t progress, uint32_t progressMax, double startTime,
                                double now, char decimalSeparator,
                                const std::function<std::string(double)>& timeText) {
  TransferTexts texts;
  if (startTime == 0) return texts;
  long long elapsedMs =
      std::llround(now * kMillisecondsPerDay) - std::llround(startTime * kMillisecondsPerDay);
  texts.ElapsedTime = timeText(double(std::max<long long>(elapsedMs, 0)) / kMillisecondsPerDay);
  if (elapsedMs <= 0) return texts;
  // Bytes per millisecond are kilobytes (of 1000 bytes) per second.
  double rate = double(progress) / double(elapsedMs);
  texts.Speed = SpeedText(rate, decimalSeparator);
  if (progressMax != 0 && rate > 0) {
    double remaining = progressMax > progress ? double(progressMax - progress) : 0.0;
    texts.EstimatedTime = timeText(remaining / rate / kMillisecondsPerDay);
  }
  return texts;
}

}  // namespace lorvex
