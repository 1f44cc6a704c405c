#!/usr/bin/env bash
# Every C++ source is in the house style (.clang-format). To mend:
#   git ls-files '*.cpp' '*.h' | xargs clang-format -i
set -euo pipefail
cd "$(dirname "$0")/.."
source .ci/ensure-packages.sh
ensure_packages clang-format
if ! git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror 2>/tmp/kovrin-format.$$; then
  head -40 /tmp/kovrin-format.$$
  rm -f /tmp/kovrin-format.$$
  echo "sources not in the house style; run: git ls-files '*.cpp' '*.h' | xargs clang-format -i"
  exit 1
fi
rm -f /tmp/kovrin-format.$$
echo "every C++ source is in the house style ($(clang-format --version | sed 's/.*version \([0-9.]*\).*/clang-format \1/'))"
