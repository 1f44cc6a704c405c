#include "browse/field_validators.h"

namespace kovrin {

namespace {

struct FieldRule {
  int digits;  // exact number of digits
  bool hexadecimal;
  int maxValue;  // 0: the value is not checked; otherwise 1 to maxValue
  const char* wrongDigits;
  const char* outOfRange;
};

// One row per base, in the order D, H, L.
using FieldRules = FieldRule[3];

const FieldRules kPlcRules = {
    {2, false, 0, "Wrong PLC number! (2 decimal digits)", nullptr},
    {2, true, 0, "Wrong PLC number! (2 hexadecimal digits)", nullptr},
    {2, false, 0, "Wrong PLC number! (2 decimal digits)", nullptr},
};

const FieldRules kAddressRules = {
    {4, false, 0, "Wrong address! (4 decimal digits)", nullptr},
    {4, true, 0, "Wrong address! (4 hexadecimal digits)", nullptr},
    {5, false, 0, "Wrong address! (5 decimal digits)", nullptr},
};

const FieldRules kReportRules = {
    {2, false, 16, "Wrong Report number! (2 decimal digits)", "Report number must be from 1 to 16"},
    {2, true, 16, "Wrong Report number! (2 hexadecimal digits)",
     "Report number must be from 1 to 10 hexadecimal"},
    {2, false, 16, "Wrong Report number! (2 decimal digits)", "Report number must be from 1 to 16"},
};

const FieldRules kLineRules = {
    {3, false, 110, "Wrong Line number! (3 decimal digits)", "Line number must be from1 to 110"},
    {3, true, 110, "Wrong Line number! (3 hexadecimal digits)",
     "Line number must be from 1 to 6E hexadecimal"},
    {3, false, 110, "Wrong Line number! (3 decimal digits)", "Line number must be from1 to 110"},
};

const FieldRule& RuleFor(const FieldRules& rules, char base) {
  return rules[base == 'H' ? 1 : base == 'L' ? 2 : 0];
}

const char* Check(const FieldRule& rule, const char* text) {
  int count = 0;
  int value = 0;
  for (const char* c = text; *c != '\0'; ++c, ++count) {
    const int digit = DigitValue(*c, rule.hexadecimal);
    if (digit < 0 || count == rule.digits) return rule.wrongDigits;
    value = value * (rule.hexadecimal ? 16 : 10) + digit;
  }
  if (count != rule.digits) return rule.wrongDigits;
  if (rule.maxValue != 0 && (value < 1 || value > rule.maxValue)) return rule.outOfRange;
  return nullptr;
}

}  // namespace

int DigitValue(char c, bool hexadecimal) {
  if (c >= '0' && c <= '9') return c - '0';
  if (!hexadecimal) return -1;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

const char* CheckPlcNumber(const char* text, char base) { return Check(RuleFor(kPlcRules, base), text); }
const char* CheckAddress(const char* text, char base) { return Check(RuleFor(kAddressRules, base), text); }
const char* CheckReportNumber(const char* text, char base) {
  return Check(RuleFor(kReportRules, base), text);
}
const char* CheckLineNumber(const char* text, char base) { return Check(RuleFor(kLineRules, base), text); }

}  // namespace kovrin
