# Asking the set-up tool for its usage, or giving it an unknown option,
# creates no mail store.
add_test(NAME setup_usage COMMAND sh -c "home=$(mktemp -d) && HOME=$home \"$0\" --help | grep -q '^Usage: quillmar-setup' && ! HOME=$home \"$0\" --bogus 2>/dev/null && test ! -e $home/Maildir && rm -rf $home" $<TARGET_FILE:quillmar-setup>)
