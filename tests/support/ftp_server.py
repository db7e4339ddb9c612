#!/usr/bin/env python3
# The FTP server of the network tests: pyftpdlib on 127.0.0.1, serving one folder read-only to
# anonymous users and to the user "reader" with the password "s3cret".
# Usage: ftp_server.py PORT ROOT
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    port, root = int(sys.argv[1]), sys.argv[2]
    logging.basicConfig(level=logging.WARNING)
    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(root)
    authorizer.add_user("reader", "s3cret", root, perm="elr")
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.banner = "orvalis test server ready"
    server = FTPServer(("127.0.0.1", port), handler)
    server.max_cons = 512
    server.serve_forever()


if __name__ == "__main__":
    main()
