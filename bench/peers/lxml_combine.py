#!/usr/bin/python3
"""The usual lxml merge, as a peer for the benchmark: load every file as a tree, move the
children of each further root with the same qualified name under the first root, write the first tree.

  lxml_combine.py OUTPUT INPUT...
"""
import sys

from lxml import etree


def qualified_name(element):
    """The name as written: prefix, ":" and local name, the way the combine compares roots."""
    local = etree.QName(element).localname
    return f"{element.prefix}:{local}" if element.prefix else local


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    output, inputs = sys.argv[1], sys.argv[2:]
    parser = etree.XMLParser(remove_blank_text=True, resolve_entities=False, no_network=True,
                             huge_tree=True)
    base = etree.parse(inputs[0], parser)
    root = base.getroot()
    name = qualified_name(root)
    for path in inputs[1:]:
        other = etree.parse(path, parser).getroot()
        if qualified_name(other) != name:
            print(f"Root element mismatch in file: {path}", file=sys.stderr)
            continue
        for child in list(other):
            root.append(child)
    base.write(output, xml_declaration=True, encoding="UTF-8")


if __name__ == "__main__":
    main()
