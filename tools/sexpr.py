"""The one S-expression reader of the project's Python checkers: a design
(.dsn), a route or session file read as nested lists of strings.

Scripts in other folders find it by adding this folder to sys.path:
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), RELATIVE, "tools"))
"""

# The format's blanks: ASCII only (a byte of a name above 127 is no blank).
BLANKS = " \t\r\n\f\v"


def read(text, quotes='"', run_on=False):
    """The top-level items of `text`: lists for parenthesised blocks, strings
    for atoms; a quoted string loses its quotes.

    quotes: the characters that open a quoted string until the design declares
    its own with (string_quote C), from the next token on. A session file wraps
    names that hold a parenthesis in apostrophes, so checkers of sessions pass
    both. run_on: a quoted part may run on into a word ("U 1"-3 is one atom,
    U 1-3)."""
    quote = None
    stack = [[]]
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if c in BLANKS:
            i += 1
        elif c == "(":
            stack.append([])
            i += 1
        elif c == ")":
            if len(stack) > 1:
                done = stack.pop()
                stack[-1].append(done)
            i += 1
        elif len(stack[-1]) == 1 and str(stack[-1][0]).lower() == "string_quote":
            # (string_quote C): C is the quote character from here on.
            quote = c
            stack[-1].append(c)
            i += 1
        elif (quote is not None and c == quote) or (quote is None and c in quotes):
            word, i = _quoted(text, i, c)
            if run_on:
                while i < n and text[i] not in BLANKS and text[i] not in "()":
                    if text[i] == c:
                        part, i = _quoted(text, i, c)
                        word += part
                    else:
                        word += text[i]
                        i += 1
            stack[-1].append(word)
        else:
            j = i
            while j < n and text[j] not in BLANKS and text[j] not in "()":
                j += 1
            stack[-1].append(text[i:j])
            i = j
    while len(stack) > 1:
        done = stack.pop()
        stack[-1].append(done)
    return stack[0]


def _quoted(text, at, quote):
    """The text between the quote at `at` and the next one (or the end), and
    where reading goes on."""
    end = text.find(quote, at + 1)
    end = len(text) if end < 0 else end
    return text[at + 1:end], end + 1


def read_first(text, **options):
    """The first block of `text` (a design's (pcb ...)); [] when there is none."""
    return next((item for item in read(text, **options) if isinstance(item, list)), [])


def name_of(node):
    """A block's keyword in lower case; None for an atom or an empty block."""
    if isinstance(node, list) and node and isinstance(node[0], str):
        return node[0].lower()
    return None


def children(node, name):
    """The sub-blocks of `node` whose keyword is `name` (in any case)."""
    return [k for k in node[1:] if name_of(k) == name] if isinstance(node, list) else []


def first(node, name):
    found = children(node, name)
    return found[0] if found else None


def number(word):
    """An atom's value; None for a list or a word that is no number."""
    try:
        return float(word)
    except (TypeError, ValueError):
        return None


def numbers(items):
    """The values of the atoms among `items` that are numbers."""
    return [v for v in map(number, items) if v is not None]
