#!/bin/sh
# The long damage campaign: the damage suite of the integration tests with MUTANTS random
# mutants per layout (flipped bits, zeroed, noisy and swapped pages, in turn) on top of its
# fixed set, each run through tree, list, show, eml and export with a time limit. Prints, per
# layout and kind of damage, the mutants, the items recovered and the items that had to be.
#
#   tests/damage_campaign.sh BUILD_DIR [MUTANTS]
#
# MUTANTS defaults to 5000 (10,000 mutants in all). Not part of CI: about 0.2 s per command in
# a release build, five commands per mutant. Use the ASan build dir to run it under the
# sanitizers.
set -eu

build=${1:?usage: damage_campaign.sh BUILD_DIR [MUTANTS]}
mutants=${2:-5000}
TARVEX_DAMAGE_MUTANTS=$mutants "$build/tests/integration/integration_tests" \
  --gtest_filter='BothLayouts/DamageSuite.*' --gtest_brief=1
