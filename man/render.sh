#!/bin/sh
# Turns a manual page source into the compressed page:  render.sh source page.gz
# groff breaks lines only at blanks, and Japanese sentences have none. Two
# source lines that meet between Japanese characters are joined without a
# blank, and a break point (\:) goes between two Japanese characters wherever
# a line may end (never before punctuation that closes). Request lines, which
# start with a dot, stay as they are.
set -eu
scdoc < "$1" |
    perl -Mutf8 -CSD -0777 -pe '
        my $letter = qr/[\p{sc=Han}\p{sc=Hiragana}\p{sc=Katakana}]/;
        my $before = qr/[\p{sc=Han}\p{sc=Hiragana}\p{sc=Katakana}、。・」）]/;
        my $after = qr/[\p{sc=Han}\p{sc=Hiragana}\p{sc=Katakana}「（]/;
        s/(?<=$before)\n(?=$letter|[「（])//g;
        s{^([^.\x27\n].*)$}{ my $line = $1; $line =~ s/(?<=$before)(?=$after)/\\:/g; $line }gme' |
    gzip -9n > "$2"
