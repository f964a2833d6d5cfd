"""What a user would otherwise write: Python's email package reads the archive and every
leaf part's decoded payload is written to a file in OUTDIR.

usage: email_extract.py ARCHIVE OUTDIR"""
import email
import email.policy
import os
import sys


def main():
    archive, outdir = sys.argv[1], sys.argv[2]
    with open(archive, "rb") as f:
        message = email.message_from_binary_file(f, policy=email.policy.compat32)
    for i, part in enumerate(message.walk()):
        if part.is_multipart():
            continue
        location = part.get("Content-Location", "") or ""
        name = os.path.basename(location.strip().replace("\\", "/")) or "part%d" % i
        with open(os.path.join(outdir, name), "wb") as out:
            out.write(part.get_payload(decode=True) or b"")


if __name__ == "__main__":
    main()
