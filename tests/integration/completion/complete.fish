# usage: fish --no-config complete.fish COMPLETION_FILE WORD...
# What the fish completion offers for the last of the words typed after `tarvex`, one a line.
source $argv[1]
for candidate in (complete --do-complete (string join ' ' -- tarvex $argv[2..-1]))
    string split --fields 1 \t -- $candidate
end
true
