# fish completion of `tarvex`: commands, their options and option values, database files, and
# for FOLDER the folder paths of the database already on the line (`tarvex tree --paths`), for
# TABLE its tables (`tarvex tables`).

# The arguments given so far after the command: the words that are neither options nor the
# value of an option.
function __tarvex_arguments
    set -l words (commandline -opc)
    set -l skip_value 0
    for word in $words[3..-1]
        if test $skip_value = 1
            set skip_value 0
        else if contains -- $word --out --workdir --saver --kinds --format --from --to \
                --subject --body --after --before --kind
            set skip_value 1
        else if not string match -q -- '-*' $word
            echo $word
        end
    end
end

function __tarvex_command_is
    set -l words (commandline -opc)
    contains -- "$words[2]" $argv
end

# True when the word being completed is the database, the first argument of every command.
function __tarvex_at_database
    __tarvex_command_is $argv
    and test (count (__tarvex_arguments)) -eq 0
end

# True when the word being completed is a FOLDER of one of the commands named.
function __tarvex_at_folder
    if __tarvex_command_is list show eml
        test (count (__tarvex_arguments)) -eq 1
    else if __tarvex_command_is search export
        test (count (__tarvex_arguments)) -ge 1
    else
        return 1
    end
end

# True when the word being completed is the TABLE of `dump`.
function __tarvex_at_table
    __tarvex_command_is dump
    and test (count (__tarvex_arguments)) -eq 1
end

function __tarvex_database
    set -l database (__tarvex_arguments)[1]
    string match -q -- '~/*' $database
    and set database $HOME/(string sub -s 3 -- $database)
    echo $database
end

function __tarvex_folders
    command -q tarvex
    and tarvex tree --paths -q (__tarvex_database) 2>/dev/null
end

# The lines "NAME: 12 records, 7 columns" of `tarvex tables`.
function __tarvex_tables
    command -q tarvex
    and tarvex tables -q (__tarvex_database) 2>/dev/null |
        string replace -rf -- '^(.+): \d+ records?, \d+ columns?$' '$1'
end

# Database files (*.edb) and the folders that may hold them.
function __tarvex_database_files
    __fish_complete_suffix .edb | string match -ri -- '^.*\.edb$|^.*/$'
end

function __tarvex_kinds
    printf '%s\n' mail contact calendar task note journal distlist all
end

set -l all_commands info tree list show eml search export tables dump

complete -c tarvex -f
complete -c tarvex -n "not __tarvex_command_is $all_commands" -l help -d 'Print the help and exit'
complete -c tarvex -n "not __tarvex_command_is $all_commands" -l version -d 'Print the version and exit'
complete -c tarvex -n "not __tarvex_command_is $all_commands" -a info -d 'Format, page size, layout, store kind, tables, mailboxes'
complete -c tarvex -n "not __tarvex_command_is $all_commands" -a tree -d 'The rebuilt tree of mailboxes and folders, with item counts'
complete -c tarvex -n "not __tarvex_command_is $all_commands" -a list -d 'The items of one folder'
complete -c tarvex -n "not __tarvex_command_is $all_commands" -a show -d 'Write the preview pages of one item'
complete -c tarvex -n "not __tarvex_command_is $all_commands" -a eml -d 'Write one item as a MIME message (.eml)'
complete -c tarvex -n "not __tarvex_command_is $all_commands" -a search -d 'Items that meet every condition'
complete -c tarvex -n "not __tarvex_command_is $all_commands" -a export -d 'Save the items of folders into an output mailbox folder'
complete -c tarvex -n "not __tarvex_command_is $all_commands" -a tables -d 'Every table with its columns and record count'
complete -c tarvex -n "not __tarvex_command_is $all_commands" -a dump -d 'Every record of one table, every column'

# Every command: the database, then its own arguments.
complete -c tarvex -n "__tarvex_at_database $all_commands" -a '(__tarvex_database_files)'
complete -c tarvex -n __tarvex_at_folder -a '(__tarvex_folders)'
complete -c tarvex -n __tarvex_at_table -a '(__tarvex_tables)'

complete -c tarvex -n "__tarvex_command_is $all_commands" -s h -l help -d 'Print the help of the command and exit'
complete -c tarvex -n "__tarvex_command_is $all_commands" -s q -l quiet -d 'Nothing but errors on standard error'
complete -c tarvex -n "__tarvex_command_is $all_commands" -s v -l verbose -d 'Also the status texts on standard error'
complete -c tarvex -n "__tarvex_command_is $all_commands" -l progress -d 'Progress on standard error even when it is no terminal'
complete -c tarvex -n "__tarvex_command_is $all_commands" -l deep -d 'Deep scan: read every page, also records no tree reaches and deleted ones'
complete -c tarvex -n "__tarvex_command_is info tree list eml search export tables dump" -l json -d 'Print JSON instead of text'

complete -c tarvex -n '__tarvex_command_is tree' -l paths -d 'Only the path of every mailbox and folder, one a line'

complete -c tarvex -n '__tarvex_command_is show' -l workdir -r -F -d 'Folder for the pages, body files and attachments'
complete -c tarvex -n '__tarvex_command_is eml' -l out -r -F -d 'The .eml file to write'

complete -c tarvex -n '__tarvex_command_is search' -l from -x -d 'Text in the sender'
complete -c tarvex -n '__tarvex_command_is search' -l to -x -d 'Text in a recipient (To, Cc or Bcc)'
complete -c tarvex -n '__tarvex_command_is search' -l subject -x -d 'Text in the subject'
complete -c tarvex -n '__tarvex_command_is search' -l body -x -d 'Text in the body'
complete -c tarvex -n '__tarvex_command_is search' -l after -x -d 'Dated at or after DATE (UTC), 2010-01-05 or 2010-01-05T09:03:07Z'
complete -c tarvex -n '__tarvex_command_is search' -l before -x -d 'Dated before DATE (UTC), 2010-01-05 or 2010-01-05T09:03:07Z'
complete -c tarvex -n '__tarvex_command_is search' -l kind -x -a 'mail contact distlist appointment activity notes task rss' -d 'Items of this kind'
complete -c tarvex -n '__tarvex_command_is search' -l has-attachment -d 'Items with attachments'
complete -c tarvex -n '__tarvex_command_is search' -l regex -d 'The texts are regular expressions (Perl syntax)'
complete -c tarvex -n '__tarvex_command_is search' -l workdir -r -F -d 'Folder for the long recipient lists a search reads'

complete -c tarvex -n '__tarvex_command_is export' -l kinds -x -a '(__fish_complete_list , __tarvex_kinds)' -d 'Kinds of items to export'
complete -c tarvex -n '__tarvex_command_is export' -l out -r -F -d 'Output folder'
complete -c tarvex -n '__tarvex_command_is export' -l saver -r -F -d 'The saver program'
complete -c tarvex -n '__tarvex_command_is export' -l include-deleted -d 'Also the items the deep scan found deleted'
complete -c tarvex -n '__tarvex_command_is export' -l format -x -a "mbox\t'mail.mbox per folder' maildir\t'a Maildir++ tree' eml\t'one .eml file per message'" -d 'How mail is stored'
complete -c tarvex -n '__tarvex_command_is export' -l replace -d 'Remove the files of an earlier export in the output folder first'
complete -c tarvex -n '__tarvex_command_is export' -l append -d 'Add to an earlier export in the output folder'
