#!/usr/bin/env python3
"""Reads one message file with Python's email package and prints what a
mail client would see as JSON: an independent check of the files the mail
library writes."""
import email
import email.policy
import hashlib
import json
import sys


def addresses(msg, name):
    header = msg[name]
    if header is None:
        return None
    if not hasattr(header, 'addresses'):
        # The raw value parsed as an address list, as a mail client reads it.
        raw = next(value for key, value in msg.raw_items() if key.lower() == name.lower())
        header = email.policy.default.header_factory('To', raw.replace('\r', '').replace('\n', ''))
    return [[a.display_name, a.addr_spec] for a in header.addresses]


def main(path):
    with open(path, 'rb') as f:
        raw = f.read()
    msg = email.message_from_bytes(raw, policy=email.policy.default)
    defects = []
    for part in msg.walk():
        defects += [type(d).__name__ for d in part.defects]
        for name in part.keys():
            defects += [type(d).__name__ for d in getattr(part[name], 'defects', ())]
    body_part = msg.get_body(preferencelist=('plain',))
    body = body_part.get_content() if body_part is not None else None
    attachments = []
    for part in msg.iter_attachments():
        data = part.get_payload(decode=True) or b''
        attachments.append({
            'filename': part.get_filename(),
            'content_type': part.get_content_type(),
            'charset': part.get_param('charset'),
            'size': len(data),
            'sha256': hashlib.sha256(data).hexdigest(),
        })
    out = {
        'header_names': list(msg.keys()),
        'from': addresses(msg, 'From'),
        'to': addresses(msg, 'To'),
        'cc': addresses(msg, 'Cc'),
        'bcc': addresses(msg, 'Bcc'),
        'notify': addresses(msg, 'Disposition-Notification-To'),
        'subject': msg['Subject'],
        'date': msg['Date'].datetime.isoformat() if msg['Date'] else None,
        'message_id': msg['Message-ID'],
        'charset': body_part.get_content_charset() if body_part is not None else None,
        'body': body if body is not None and len(body) <= 100000 else None,
        'body_length': len(body) if body is not None else None,
        'body_sha256': hashlib.sha256(body.encode('utf-8', 'surrogatepass')).hexdigest() if body is not None else None,
        'attachments': attachments,
        'defects': defects,
        'longest_line': max((len(line) for line in raw.split(b'\n')), default=0),
        'longest_header_line': max((len(line) for line in raw.split(b'\n\n', 1)[0].split(b'\n')), default=0),
    }
    json.dump(out, sys.stdout)


if __name__ == '__main__':
    main(sys.argv[1])
