# Doxygen input filter for the library's public headers: their comments are
# plain "//" comments, and Doxygen reads only its own forms. Each line stays
# one line (so warnings point at the right line):
#   a block of "// text" lines         -> "/** text ... */" (documents what
#     follows; its first sentence is the summary)
#   "code;  // text" after a member    -> "code;  ///< text" (documents it),
#     and a comment line right under it, indented further, continues it
# Inside a class, one comment often covers the run of members under it (a
# getter and its setter): each comment and the members after it, up to a
# blank line, form a member group, whose comment Doxygen then gives to every
# member of the run (DISTRIBUTE_GROUP_DOC). "// --- Name ---" lines stay
# plain comments.
function close_group(line) {
    seen_member = 0
    if (in_group) {
        in_group = 0
        return "/** @} */ " line
    }
    return line
}
# Specialisations in namespace std (std::hash of a port) are left out of the
# reference: Doxygen has no page for std to put them on.
# "code;  // text" -> "code;  ///< text", unless the "//" is inside a string.
function document_member(line,    start, len, before) {
    if (!match(line, /[;,][ \t]*\/\/[^\/]/)) {
        return line
    }
    start = RSTART
    len = RLENGTH
    before = substr(line, 1, start)
    if (gsub(/"/, "\"", before) % 2 != 0) {
        return line
    }
    code_indent = match(line, /[^ \t]/) - 1
    trailing = 1
    return substr(line, 1, start) substr(line, start + 1, len - 4) "///<" \
        substr(line, start + len - 1)
}
# Ends the comment block held back, so that its last line can close it.
function flush_comment(    i) {
    if (held_count > 0) {
        held[held_count] = held[held_count] " */"
        for (i = 1; i <= held_count; ++i) {
            print held[i]
        }
        held_count = 0
    }
}
{
    line = $0
    if (!match(line, /^[ \t]*\/\/([^\/]|$)/) || match(line, /^[ \t]*\/\/ ---/)) {
        flush_comment()
    }
    if (match(line, /^template <>$/)) {
        in_std = 1
        print "/** @cond */ " line
        next
    }
    if (in_std) {
        if (match(line, /^};/)) {
            in_std = 0
            line = line " /** @endcond */"
        }
        print line
        next
    }
    indented = match(line, /^[ \t]+[^ \t]/)
    # A blank line ends a run of members; one between a comment and its
    # members does not.
    if (match(line, /^[ \t]*$/) && !seen_member) {
        print line
        in_comment = 0
        trailing = 0
        next
    }
    if (match(line, /^[ \t]*$/) || match(line, /^[ \t]*(private|protected|public):/) ||
        match(line, /^[ \t]*}/) || match(line, /^[ \t]*\/\/ ---/) || match(line, /^#/)) {
        trailing = 0
        print close_group(document_member(line))
        in_comment = 0
        next
    }
    if (match(line, /^[ \t]*\/\/[^\/]/) || match(line, /^[ \t]*\/\/$/)) {
        indent = substr(line, 1, index(line, "/") - 1)
        if (trailing && length(indent) > code_indent) {
            sub(/\/\//, "///<", line)
            print line
            next
        }
        trailing = 0
        if (!in_comment) {
            sub(/\/\//, "/**", line)
            if (indented) {
                line = (in_group ? "/** @} */ " : "") "/** @{ */ " line
                in_group = 1
                seen_member = 0
            }
        } else {
            sub(/\/\//, "  ", line)
        }
        in_comment = 1
        held[++held_count] = line
        next
    }
    in_comment = 0
    trailing = 0
    seen_member = 1
    line = document_member(line)
    print line
}
END {
    flush_comment()
}
