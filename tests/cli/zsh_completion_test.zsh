# Drives an interactive zsh through a pseudo-terminal, with the zsh completion
# on its fpath, and checks the matches it offers: the commands and options
# tolvane's --help names, and for file arguments folders and only the files of
# the right kind. Usage: zsh -f zsh_completion_test.zsh COMPLETION_FOLDER TOLVANE
zmodload zsh/zpty || exit 1
folder=${1:A} tolvane=${2:A}
work=$(mktemp -d) || exit 1
trap 'zpty -d z 2>/dev/null; rm -rf $work' EXIT
cd $work || exit 1
mkdir discs 'my games'
touch game.bin DISC.ISO Track.Bin game.chd notes.txt logo.bmp Shot.BMP picture.png bin 'my games/a b.bin' logo.xdelta Old.VCDIFF logo.ppf

zpty z zsh -f -i
zpty -w z "PROMPT=; fpath=(${(q)folder} \$fpath); autoload -Uz compinit; compinit -u -D"
# Every match added is also printed, after "@@"; ^T prints the end of a reply and empties the line.
zpty -w z 'compadd() {
  [[ ${@[1,(i)(-|--)]} == *-(O|A|D)\ * ]] && { builtin compadd "$@"; return; }
  local -a hits; builtin compadd -A hits "$@"; (( $#hits )) && print -rl -- "@""@"${^hits}
  builtin compadd "$@"
}'
zpty -w z 'zle-end() { print "<e""nd>"; BUFFER= }; zle -N zle-end; bindkey "^T" zle-end; bindkey "^I" complete-word'

failures=0
# expect LINE CANDIDATE...: completing at the end of LINE offers exactly the CANDIDATEs.
expect() {
  local line got=() wanted=(${(ou)@[2,-1]})
  zpty -w z "$1"$'\t\x14'
  while zpty -r z line; do
    [[ $line == *'<end>'* ]] && break
    [[ $line == *@@* ]] && got+=(${${line##*@@}//[$'\r\n']})
  done
  got=(${(ou)got})
  if [[ $got != $wanted ]]; then
    print -r -- "$1<TAB>: got [${(j:, :)got}], expected [${(j:, :)wanted}]"
    (( failures++ ))
  fi
}

# The options a help text names (-h, --dry-run, --key of --key=K).
options_in() { grep -oE '(^|[^[:alnum:]-])--?[a-z][a-z-]*' | sed -E 's/^[^-]*//' | sort -u }

help=$($tolvane --help) || exit 1
verbs=(${(f)"$(sed -n '/^Commands:/,/^$/p' <<<$help | sed -nE 's/^  ([a-z]+).*/\1/p')"})
(( $#verbs >= 3 )) || { print -r "cannot read tolvane --help: $help"; exit 1 }
expect 'tolvane ' $verbs
expect 'tolvane -' ${(f)"$(sed -n '/^Options:/,/^$/p' <<<$help | options_in)"}
for verb in $verbs; do
  expect "tolvane $verb -" -h --help ${(f)"$($tolvane $verb --help | options_in)"}
done

images=(discs 'my\ games' game.bin DISC.ISO Track.Bin game.chd)
bitmaps=(discs 'my\ games' logo.bmp Shot.BMP picture.png)
expect 'tolvane import ' $images
expect 'tolvane info --json ' $images
expect 'tolvane import game.bin ' $bitmaps
expect 'tolvane export --console --key 0x0D --pal game.bin ' $bitmaps
expect 'tolvane export --key=' 
expect 'tolvane import my\ games/' 'a\ b.bin'
expect 'tolvane restore --list ' $images
expect 'tolvane import --patch-file ' discs 'my\ games' logo.xdelta Old.VCDIFF logo.ppf
expect 'tolvane import --patch-file logo.ppf ' $images

(( failures == 0 )) && print "zsh completion: passed"
exit $(( failures > 0 ))
