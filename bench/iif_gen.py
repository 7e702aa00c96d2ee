#!/usr/bin/env python3
"""Writes a synthetic IIF file of about SIZE MiB for the conversion benchmark.

MIX chooses the content:
  transactions  (default) what a company export holds: an account list,
                Canadian-layout item, customer, vendor and employee lists (whose
                columns the conversion drops and renames) and, making up most of
                the bytes, invoice transactions;
  lists         a list export: about 85% of the lines are item, customer, vendor
                and employee rows, the rest transactions;
  longline      one line of another list, SIZE MiB long, with a TAB every
                64 KiB (well under the field limit).
Lines end in CR LF; in the first two mixes they are 60 to 400 bytes wide.

Usage: iif_gen.py SIZE_MIB OUTPUT [MIX]
"""
import random
import sys

T = "\t"

ITEM_HEADER = ["!INVITEM", "NAME", "REFNUM", "TIMESTAMP", "INVITEMTYPE", "DESC", "PURCHASEDESC",
               "ACCNT", "ASSETACCNT", "COGSACCNT", "PRICE", "COST", "FOREIGNPRICE", "VATCODE",
               "PURCHVATCODE", "TAXABLE", "PREFVEND", "AMTINCVAT", "CUSTFLD1", "HIDDEN"]
CUST_HEADER = ["!CUST", "NAME", "REFNUM", "TIMESTAMP", "BADDR1", "BADDR2", "BADDR3", "PHONE1",
               "EMAIL", "CONT1", "CTYPE", "TERMS", "TAXABLE", "VATCODE", "LIMIT", "VATID",
               "USECURRENCY", "NAMECURRENCY", "PRICELEVEL", "HIDDEN"]
VEND_HEADER = ["!VEND", "NAME", "REFNUM", "TIMESTAMP", "ADDR1", "ADDR2", "ADDR3", "PHONE1",
               "CONT1", "TERMS", "VATID", "USECURRENCY", "NAMECURRENCY", "1099", "HIDDEN"]
EMP_HEADER = ["!EMP", "NAME", "REFNUM", "TIMESTAMP", "INIT", "ADDR1", "CITY", "PROVINCE",
              "POSTCODE", "SIN", "PHONE1", "EMPNO", "HIRED", "HIDDEN"]
TRNS_HEADERS = [
    ["!TRNS", "TRNSID", "TRNSTYPE", "DATE", "ACCNT", "NAME", "AMOUNT", "DOCNUM", "MEMO"],
    ["!SPL", "SPLID", "TRNSTYPE", "DATE", "ACCNT", "NAME", "AMOUNT", "DOCNUM", "MEMO", "QNTY",
     "PRICE", "INVITEM", "TAXABLE"],
    ["!ENDTRNS"],
]

WORDS = ("maple syrup amber grade case lot gift box holiday stoneware teapot loose leaf tin "
         "courier delivery wholesale retail montreal halifax quebec toronto vancouver "
         "boulangerie harbour grocers imports cartons industriel").split()


def text(rng, lo, hi):
    return " ".join(rng.choice(WORDS) for _ in range(rng.randint(lo, hi)))


def money(rng):
    return "%.2f" % (rng.randint(100, 999999) / 100)


# Share of the lines that each list takes, by mix: accounts, items, customers,
# vendors, employees; transactions fill the rest.
LIST_SHARES = {
    "transactions": (1 / 50, 1 / 10, 1 / 10, 1 / 20, 1 / 50),
    "lists": (1 / 50, 0.35, 0.30, 0.15, 0.05),
}


def lines_block(rng, n, mix):
    """About n lines of one export: lists first, then transactions."""
    accnt, items, custs, vends, emps = (int(n * share) for share in LIST_SHARES[mix])
    out = [T.join(["!ACCNT", "NAME", "ACCNTTYPE", "DESC", "ACCNUM"])]
    out += [T.join(["ACCNT", text(rng, 1, 3).title(), "INC", text(rng, 2, 8), str(4000 + i)])
            for i in range(accnt)]
    out.append(T.join(ITEM_HEADER))
    for i in range(items):
        out.append(T.join(["INVITEM", text(rng, 2, 4).title(), str(i), "1141230600", "INVENTORY",
                           text(rng, 4, 12), text(rng, 2, 8), "Sales", "Inventory Asset",
                           "Cost of Goods Sold", money(rng), money(rng), money(rng), "H", "H", "Y",
                           text(rng, 1, 3).title(), "N", "", "N"]))
    out.append(T.join(CUST_HEADER))
    for i in range(custs):
        name = text(rng, 2, 3).title()
        out.append(T.join(["CUST", name, str(i), "1141230700", name, "%d rue %s" % (
            rng.randint(1, 999), text(rng, 1, 2).title()), "Montreal QC H2Y 1H8", "514-555-0142",
            "ap@example.com", text(rng, 2, 2).title(), "Retail", "Net 30", "Y", "H", money(rng),
            "123456789RT0001", "N", "Canadian Dollar", "", "N"]))
    out.append(T.join(VEND_HEADER))
    for i in range(vends):
        name = text(rng, 2, 3).title()
        out.append(T.join(["VEND", name, str(i), "1141230800", name, "88 rang Nord",
                           "Saint-Georges QC G5Y 2B1", "418-555-0110", text(rng, 2, 2).title(),
                           "Net 30", "987654321RT0001", "N", "Canadian Dollar", "N", "N"]))
    out.append(T.join(EMP_HEADER))
    for i in range(emps):
        out.append(T.join(["EMP", text(rng, 2, 2).title(), str(i), "1141230900", "GR",
                           "17 av. des Pins", "Quebec", "QC", "G1R 2K4", "046 454 286",
                           "418-555-0123", "E-%04d" % i, "03/01/2021", "N"]))
    out += [T.join(h) for h in TRNS_HEADERS]
    while len(out) < n:
        doc = str(rng.randint(1000, 99999))
        out.append(T.join(["TRNS", "", "INVOICE", "12/01/2025", "Accounts Receivable",
                           text(rng, 2, 3).title(), money(rng), doc, text(rng, 0, 6)]))
        for _ in range(rng.randint(1, 4)):
            out.append(T.join(["SPL", "", "INVOICE", "12/01/2025", "Sales", "", "-" + money(rng),
                               doc, text(rng, 0, 10), "-%d" % rng.randint(1, 20), money(rng),
                               text(rng, 2, 4).title(), "Y"]))
        out.append("ENDTRNS")
    return "\r\n".join(out) + "\r\n"


def write_long_line(path, target):
    """One TRNS line of `target` bytes (CR LF included), a TAB every 64 KiB."""
    piece = ("\t" + "x" * 65535).encode()
    with open(path, "wb") as f:
        f.write(b"TRNS")
        written = 4
        while written + len(piece) + 2 <= target:
            f.write(piece)
            written += len(piece)
        f.write(b"y" * (target - written - 2) + b"\r\n")


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    target = int(float(sys.argv[1]) * 1024 * 1024)
    mix = sys.argv[3] if len(sys.argv) == 4 else "transactions"
    if mix == "longline":
        write_long_line(sys.argv[2], target)
        return
    if mix not in LIST_SHARES:
        sys.exit(__doc__)
    rng = random.Random(2025)
    # A few distinct exports, repeated: generating every byte in Python would
    # take longer than the conversion being measured.
    blocks = [lines_block(rng, 20000, mix).encode("cp1252") for _ in range(4)]
    written = 0
    with open(sys.argv[2], "wb") as f:
        i = 0
        while written < target:
            b = blocks[i % len(blocks)]
            if written + len(b) > target:
                # Stop at the last whole line within the target size.
                cut = b.rfind(b"\r\n", 0, target - written)
                if cut < 0:
                    break
                b = b[: cut + 2]
            f.write(b)
            written += len(b)
            i += 1


if __name__ == "__main__":
    main()
