#!/bin/sh
# Every thread the libraries and the tools start goes through ThreadStart, which
# turns the system's refusal of a thread into a false the caller handles; a
# std::thread constructed anywhere else throws instead, and thrown out of a slot or
# a destructor that ends the process. Lists each place that starts one otherwise.
# $1: the source tree.
cd "$1" || exit 2
dirs="module dispatcher portlayer picturetool tools"
starts=$(grep -rnE 'std::thread[[:space:]]*[({]|std::thread[[:space:]]+[A-Za-z_][A-Za-z0-9_]*[[:space:]]*[({]|std::(jthread|async)[^A-Za-z0-9_]|QThread::create' \
             $dirs --include='*.cpp' --include='*.h' | grep -v '^dispatcher/threadstart\.h:')
# A vector of threads can construct one in place (emplace_back); push_back takes
# one already started.
pools=
for name in $(grep -rhoE 'std::vector<std::thread>[[:space:]]+[A-Za-z_][A-Za-z0-9_]*' $dirs --include='*.cpp' --include='*.h' |
                  awk '{print $NF}' | sort -u); do
    pools="$pools$(grep -rnE "(^|[^A-Za-z0-9_])$name\.emplace_back\(" $dirs --include='*.cpp' --include='*.h')
"
done
if [ -n "$(printf '%s%s' "$starts" "$pools" | tr -d '[:space:]')" ]; then
    echo "threads started without ThreadStart (dispatcher/threadstart.h):"
    printf '%s\n' "$starts" "$pools" | grep -v '^$'
    exit 1
fi
echo "every thread starts through ThreadStart"
