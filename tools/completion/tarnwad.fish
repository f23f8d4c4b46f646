# fish completion for tarnwad: commands, each command's options and their
# values, archives (*.wad) and directories where they belong.
#
# Installed as share/fish/vendor_completions.d/tarnwad.fish; from a checkout:
#     source tools/completion/tarnwad.fish

set -l commands list unpack extract cat verify info pack conflicts diff add replace rm mv update compact mount umount help
set -l archive_commands list unpack extract cat verify info conflicts diff add replace rm mv update compact mount
set -l layer_commands list unpack extract cat verify
set -l first "not __fish_seen_subcommand_from $commands"
set -l any "__fish_seen_subcommand_from $commands"
set -l list "__fish_seen_subcommand_from list"
set -l unpack "__fish_seen_subcommand_from unpack extract"
set -l pack "__fish_seen_subcommand_from pack"
set -l mount "__fish_seen_subcommand_from mount"

complete -c tarnwad -e
complete -c tarnwad -f

# Before the command.
complete -c tarnwad -n $first -s h -l help -d 'Show the commands'
complete -c tarnwad -n $first -s V -l version -d 'Show the version'
complete -c tarnwad -n $first -a list -d 'List the entries of an archive'
complete -c tarnwad -n $first -a unpack -d 'Unpack an archive'
complete -c tarnwad -n $first -a extract -d 'Unpack an archive (another name of unpack)'
complete -c tarnwad -n $first -a cat -d 'Write the entries patterns select, decoded, to standard output'
complete -c tarnwad -n $first -a verify -d 'Open, decode and read every entry; report what cannot be read'
complete -c tarnwad -n $first -a info -d 'Show the figures of an archive'
complete -c tarnwad -n $first -a pack -d 'Write an archive of a directory tree'
complete -c tarnwad -n $first -a conflicts -d 'Show which layer wins each path several layers supply'
complete -c tarnwad -n $first -a diff -d 'Compare two archives, or an archive and a folder, by content'
complete -c tarnwad -n $first -a add -d 'Add files to an archive, in place'
complete -c tarnwad -n $first -a replace -d 'Replace files of an archive by new content, in place'
complete -c tarnwad -n $first -a rm -d 'Remove entries from an archive, in place'
complete -c tarnwad -n $first -a mv -d 'Rename a file or directory of an archive'
complete -c tarnwad -n $first -a update -d 'Make an archive hold exactly a directory tree'
complete -c tarnwad -n $first -a compact -d 'Rewrite an archive without the space edits freed'
complete -c tarnwad -n "__fish_seen_subcommand_from add replace" -l as -r -d 'The path in the archive of the one file'
complete -c tarnwad -n "__fish_seen_subcommand_from add replace update" -l codec -x -a 'stored lz zlib auto' -d 'How new data is kept'
complete -c tarnwad -n "__fish_seen_subcommand_from add replace rm mv update" -l copy -d 'Write a new archive and rename it over the old one'
complete -c tarnwad -n "__fish_seen_subcommand_from add replace rm mv update compact" -s q -l quiet -d 'Print nothing but errors'
complete -c tarnwad -n "__fish_seen_subcommand_from add replace update" -F
complete -c tarnwad -n $pack -l base -r -F -d 'Build the archive as an edit of this one'
complete -c tarnwad -n $first -a mount -d 'Show an archive as a read-only directory (FUSE)'
complete -c tarnwad -n $first -a umount -d 'Unmount what tarnwad mount mounted'
complete -c tarnwad -n $first -a help -d 'Show the commands, or the options of a command'

# Every command takes --help; the archive commands take a .wad file.
complete -c tarnwad -n $any -s h -l help -d 'Show the options of the command'
complete -c tarnwad -n "__fish_seen_subcommand_from $archive_commands" \
    -k -a '(__fish_complete_suffix .wad)'
complete -c tarnwad -n "__fish_seen_subcommand_from help" -a "$commands"
complete -c tarnwad -n "__fish_seen_subcommand_from $layer_commands" -l layer -r \
    -a '(__fish_complete_suffix .wad; __fish_complete_directories)' \
    -d 'Lay this archive or folder over the archive, later layers winning'

# list
complete -c tarnwad -n $list -l json -d 'One JSON object per entry and line'
complete -c tarnwad -n $list -s 1 -l names -d 'The paths alone, one per line'
complete -c tarnwad -n $list -l hash -d "Add the SHA-256 of each entry's content"
complete -c tarnwad -n $list -s j -l jobs -x -a '1 2 4 8 16' \
    -d 'With --hash, read entries on this many threads'
complete -c tarnwad -n $list -l exclude -x -d 'Leave out entries matching the pattern'

# unpack
complete -c tarnwad -n $unpack -s o -s C -l output -x -a '(__fish_complete_directories)' \
    -d 'Unpack into this directory'
complete -c tarnwad -n $unpack -l exclude -x -d 'Leave out entries matching the pattern'
complete -c tarnwad -n $unpack -l dry-run -d 'List what would be written, write nothing'
complete -c tarnwad -n $unpack -s k -l keep-old-files -d 'Never replace an existing file'
complete -c tarnwad -n $unpack -l no-probe -d "Do not check for the game's known entries"
complete -c tarnwad -n $unpack -s v -l verbose -d 'Name each file'
complete -c tarnwad -n $unpack -s q -l quiet -d 'Print nothing but errors'
complete -c tarnwad -n $unpack -s j -l jobs -x -a '1 2 4 8 16' -d 'Copy files on this many threads'

# verify, info
complete -c tarnwad -n "__fish_seen_subcommand_from verify" -l json \
    -d 'One JSON object with the counts and failures'
complete -c tarnwad -n "__fish_seen_subcommand_from verify" -l against -r \
    -d "Compare every entry's content with an archive, folder or hash listing"
complete -c tarnwad -n "__fish_seen_subcommand_from info" -l json \
    -d 'The figures as one JSON object'

# conflicts: the archive (above), then layers: archives or folders
complete -c tarnwad -n "__fish_seen_subcommand_from conflicts" -a '(__fish_complete_directories)'
complete -c tarnwad -n "__fish_seen_subcommand_from conflicts" -l json \
    -d 'One JSON object per path and line'
complete -c tarnwad -n "__fish_seen_subcommand_from conflicts" -l all \
    -d 'Every path with every version, not only conflicts'

# diff: the first archive (above), then an archive or a folder
complete -c tarnwad -n "__fish_seen_subcommand_from diff" -a '(__fish_complete_directories)'
complete -c tarnwad -n "__fish_seen_subcommand_from diff" -l json \
    -d 'One JSON object per difference and line'

# pack
complete -c tarnwad -n $pack -a '(__fish_complete_directories)'
complete -c tarnwad -n $pack -s o -l output -r -k -a '(__fish_complete_suffix .wad)' \
    -d 'The archive to write'
complete -c tarnwad -n $pack -l format-version -x -a '0 1 2' -d 'Archive format version'
complete -c tarnwad -n $pack -l codec -x -a 'stored lz zlib auto' -d 'How entries are stored'
complete -c tarnwad -n $pack -s f -l force -d 'Replace the archive if it exists'
complete -c tarnwad -n $pack -s L -l dereference -d 'Pack what symbolic links lead to'
complete -c tarnwad -n $pack -l skip-special -d 'Skip what cannot be packed, with a warning'
complete -c tarnwad -n $pack -l exclude -x -d 'Leave out files matching the pattern'
complete -c tarnwad -n $pack -s v -l verbose -d 'Name each file'
complete -c tarnwad -n $pack -s q -l quiet -d 'Print nothing but errors'
complete -c tarnwad -n $pack -s j -l jobs -x -a '1 2 4 8 16' -d 'Read and code files on this many threads'

# mount: the archive (above), then layers, then the directory to mount it on; umount
complete -c tarnwad -n $mount -a '(__fish_complete_directories)'
complete -c tarnwad -n $mount -s f -l foreground -d 'Stay in the foreground until unmounted'
complete -c tarnwad -n $mount -l no-probe -d "Do not check for the game's known entries"
complete -c tarnwad -n $mount -l cache-size -x -a '64M 256M 1G' -d 'Memory for decoded entries'
complete -c tarnwad -n "__fish_seen_subcommand_from umount" -a '(__fish_complete_directories)'
