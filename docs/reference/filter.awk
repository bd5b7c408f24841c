# Doxygen input filter for the engine's headers, which are commented in plain
# `//` lines. A header's opening lines become the file's description; a comment
# block right above declarations documents them (several declarations under
# one comment share it, as a member group); a comment after a field, value or
# declaration on its line documents that one. Section rules ("// ---- ...") and
# free-standing notes stay plain. Line numbers are kept.
function flush(next_line,    i, doc, first) {
  if (n == 0) return
  if (!seen_code && (next_line ~ /^[ \t]*$/ || next_line ~ /^#pragma/)) {
    for (i = 1; i <= n; i++) { sub(/\/\//, "///", block[i]); print (i == n ? block[i] " \\file" : block[i]) }
  } else {
    # A section rule heading the block stays plain; the lines under it may document.
    first = 1
    while (first <= n && block[first] ~ /\/\/ ?----/) print block[first++]
    doc = first <= n && next_line !~ /^[ \t]*$/ && next_line !~ /^#/ && next_line !~ /^[ \t]*}/
    for (i = first; i <= n; i++) { if (doc) sub(/\/\//, "///", block[i]); print block[i] }
    if (doc) start_run()
  }
  n = 0
}
# The lines after a doc comment, up to a blank or comment line: a member group
# when they hold more than one declaration and no body.
function start_run() { run_n = 0; in_run = 1 }
function end_run(    i, decls, body) {
  in_run = 0
  decls = 0; body = 0
  for (i = 1; i <= run_n; i++) {
    if (run[i] ~ /[{}]/) body = 1
    if (run[i] ~ /;[ \t]*(\/\/.*)?$/) decls++
  }
  # The group closes at the start of the line after the run (a trailing comment
  # on the run's last line would swallow it).
  if (decls > 1 && !body) { run[1] = "/** @{ */ " run[1]; close_group = 1 }
  for (i = 1; i <= run_n; i++) print run[i]
  run_n = 0
}
function closing(line) {
  if (!close_group) return line
  close_group = 0
  return "/** @} */ " line
}
function emit(line) { if (in_run) run[++run_n] = line; else print line }
/^[ \t]*\/\// { if (in_run) end_run(); block[++n] = closing($0); next }
{
  flush($0)
  if (in_run && ($0 ~ /^[ \t]*$/ || $0 ~ /^#/)) end_run()
  if ($0 !~ /^[ \t]*$/ && $0 !~ /^#pragma/) seen_code = 1
  line = $0
  if (line !~ /^#(include|pragma|if|else|endif)/) sub(/[;,{)][ \t]+\/\/ /, "&@@", line)
  sub(/\/\/ @@/, "///< ", line)
  emit(closing(line))
}
END { flush(""); if (in_run) end_run(); if (close_group) print "/** @} */" }
