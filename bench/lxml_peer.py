#!/usr/bin/python3
"""The benchmark's peer: the same fixed-width file from the same packet, with lxml.

    /usr/bin/python3 bench/lxml_peer.py ENTRADA SAIDA

Streams the ROW elements with iterparse, so memory stays flat whatever the packet's size.
"""
import sys

from lxml import etree

LAYOUT = [("CO_UNIDADE", 31), ("NO_FANTASIA", 60), ("CO_MUNICIPIO_GESTOR", 6),
          ("CO_PALTIR", 7), ("CO_PALTIR1", 7), ("CO_PALTIR2", 7), ("CO_PALTIR3", 7),
          ("CO_PALTIR4", 7), ("CO_PALTIR5", 7), ("NU_CNPJ", 14), ("NU_CPF", 11),
          ("CO_DUMARE", 7)]
CONTROLS = bytes(range(33))  # trimmed at both ends of every value


def convert(source, target):
    with open(source, "rb") as packet:
        declaration = packet.read(256).split(b"?>", 1)[0]
    # A packet that declares no encoding carries raw Windows-1252 bytes.
    encoding = None if b"encoding=" in declaration else "windows-1252"
    attributes = {}  # field name in upper case -> its ROW attribute; the first one counts
    columns = None
    with open(target, "wb") as out:
        for _, elem in etree.iterparse(source, tag=("FIELD", "ROW"), encoding=encoding,
                                       huge_tree=True):
            if elem.tag == "FIELD":
                name = elem.get("fieldname") or elem.get("attrname")
                attributes.setdefault(name.upper(), elem.get("attrname"))
                continue
            if columns is None:
                columns = [(attributes[name], width) for name, width in LAYOUT]
            get = elem.get
            # Superseded (1) and deleted (2) versions are not records.
            if not int(get("RowState") or 0) & 3:
                out.write(b"".join((get(attribute) or "").encode("cp1252", "replace")
                                   .strip(CONTROLS).ljust(width)
                                   for attribute, width in columns) + b"\r\n")
            elem.clear()
            while elem.getprevious() is not None:
                del elem.getparent()[0]


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: lxml_peer.py ENTRADA SAIDA")
    convert(sys.argv[1], sys.argv[2])
