#!/usr/bin/env bash
# The checks of the Ansible collection (ansible/) that run without a network. ansible-test sanity runs
# every test that needs no Python package from the internet; validate-modules, pep8 and yamllint, which
# would, run directly with Debian's packages (python3-voluptuous, pycodestyle, yamllint) and ansible-test's
# own settings, and honour the collection's ignore file for the installed ansible-test as ansible-test
# does. Then the unit tests (python3-pytest) and ansible-lint (Debian's package) on the role and the
# playbook. ansible-test wants the collection under ansible_collections/NAMESPACE/NAME/, so all of it runs
# on a copy in a temporary tree.
set -euo pipefail
cd "$(dirname "$0")/.."
sanity=/usr/lib/python3/dist-packages/ansible_test/_util/controller/sanity
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
collection=$tree/ansible_collections/lut/logger_update_tool
mkdir -p "$(dirname "$collection")"
cp -r ansible "$collection"
cd "$collection"

# "changelog" is left out: it needs antsibull-changelog, which Debian 12 does not package; yamllint reads the
# changelog below.
offline=(action-plugin-docs compile empty-init future-import-boilerplate ignores line-endings
         metaclass-boilerplate no-assert no-basestring no-dict-iteritems no-dict-iterkeys no-dict-itervalues
         no-get-exception no-illegal-filenames no-main-display no-smart-quotes no-unicode-literals
         replace-urlopen shebang symlinks use-argspec-type-path use-compat-six)
python=$(/usr/bin/python3 -c 'import sys; print("%d.%d" % sys.version_info[:2])')
ansible-test sanity --color no --python "$python" "${offline[@]/#/--test=}"

failed=0
# Lines of the form "PATH:0:0: ECODE ..." that the ignore file lists as "PATH validate-modules:CODE".
core=$(ansible --version | sed -n '1s/.*core \([0-9]*\.[0-9]*\).*/\1/p')
ignored=$(sed -n 's/^\([^ ]*\) validate-modules:\([^ ]*\).*/\1:0:0: E\2 /p' "tests/sanity/ignore-$core.txt")
if /usr/bin/python3 -c 'import voluptuous' 2>/dev/null; then
    echo 'Running sanity test "validate-modules" directly'
    version=$(sed -n 's/^version: //p' galaxy.yml)
    # --arg: the check that imports each module and compares its declared arguments with its documentation.
    problems=$(PYTHONPATH="$sanity/validate-modules:$tree" /usr/bin/python3 \
                   "$sanity/validate-modules/validate.py" --collection "${collection#"$tree"/}" \
                   --collection-version "$version" --arg --plugin-type module plugins/modules/*.py 2>&1 |
               grep -vF -f <(printf "%s" "$ignored") || true)
    [[ -z "$problems" ]] || { echo "$problems"; failed=1; }
else
    echo 'Skipped "validate-modules": python3-voluptuous is not installed'
fi
if command -v pycodestyle >/dev/null; then
    echo 'Running sanity test "pep8" directly'
    ignore=$(paste -sd, "$sanity/pep8/current-ignore.txt")
    pycodestyle --max-line-length 160 --ignore "$ignore" plugins || failed=1
else
    echo 'Skipped "pep8": pycodestyle is not installed'
fi
if command -v yamllint >/dev/null; then
    echo 'Running sanity test "yamllint" directly'
    yamllint -c "$sanity/yamllint/config/default.yml" galaxy.yml meta roles playbooks changelogs || failed=1
else
    echo 'Skipped "yamllint": yamllint is not installed'
fi
echo 'Running the unit tests'
PYTHONPATH=$tree /usr/bin/python3 -B -m pytest -q -p no:cacheprovider tests/unit || failed=1
echo 'Running ansible-lint on the role and the playbook'
# Offline: ansible-lint installs nothing and finds the collection in the temporary tree.
ANSIBLE_COLLECTIONS_PATHS=$tree ansible-lint --offline --nocolor -p roles/rollout playbooks/rollout.yml || failed=1
exit "$failed"
