#!/usr/bin/env python3
"""Writes the seed corpus of every fuzz target into corpus/<target>/.

The seeds are few and meant to be read: each is a case an operator or a peer would produce,
laid out the way the target's FuzzedDataProvider reads its input (numbers and flags from the
end, bytes from the front). Run it again after changing a target's input layout, and commit
what it writes; fuzzing runs work on copies and never add to the committed corpus.
"""

import pathlib

HERE = pathlib.Path(__file__).resolve().parent


class Input:
    """Builds an input the way FuzzedDataProvider takes it apart."""

    def __init__(self):
        self.front = bytearray()
        self.back = bytearray()  # in the order the provider consumes it

    def integer(self, low, high, value):
        assert low <= value <= high
        span = high - low
        taken = []
        offset = 0
        while offset < 64 and (span >> offset) > 0:
            taken.append(None)
            offset += 8
        # The first byte consumed is the most significant one.
        result = value - low
        for i in range(len(taken)):
            taken[len(taken) - 1 - i] = (result >> (8 * i)) & 0xFF
        self.back += bytes(taken)
        return self

    def flag(self, value):
        return self.integer(0, 255, 1 if value else 0)

    def bytes(self, data):
        self.front += data
        return self

    def data(self):
        return bytes(self.front) + bytes(reversed(self.back))


def write(target, name, data):
    folder = HERE / "corpus" / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data)


ALL_BYTES = bytes(range(256))


def codec():
    write("fuzz_single_byte_codec", "crlf_text", b"Cliente : hola\r\n")
    write("fuzz_single_byte_codec", "all_byte_values", ALL_BYTES)
    write("fuzz_single_byte_codec", "windows_1252_high", "€‚ƒ„…†‡ˆ‰Š‹ŒŽ ¿ñÑü".encode("cp1252"))
    # Read as UTF-16: the euro sign, a pasted letter with no single-byte form, an emoji as a
    # surrogate pair, and a lone surrogate.
    write("fuzz_single_byte_codec", "utf16_unmappable", "€ł😀".encode("utf-16-le") + b"\x00\xd8")


def code_rows():
    def rows(max_codes, chunks):
        seed = Input().integer(0, 300, max_codes)
        for chunk in chunks:
            seed.integer(0, 700, len(chunk)).bytes(chunk)
        return seed.data()

    write("fuzz_code_rows", "two_chunks", rows(256, [b"AB", b"hola\r\n"]))
    write("fuzz_code_rows", "empty_chunk", rows(256, [b"", b"x"]))
    write("fuzz_code_rows", "all_byte_values", rows(256, [ALL_BYTES]))
    write("fuzz_code_rows", "over_the_shown_codes", rows(256, [b"z" * 300]))
    write("fuzz_code_rows", "limit_zero", rows(0, [b"\x00\xff", b"7"]))


def line_settings():
    def text(kind, settings):
        encoded = {0: settings.encode("cp1252"), 1: settings.encode("utf-8"),
                   2: settings.encode("utf-16-le")}[kind]
        return bytes([kind]) + encoded

    write("fuzz_line_settings", "usual", text(0, "9600,n,8,1"))
    write("fuzz_line_settings", "blanks_and_capitals", text(1, " 115200 , P , 7 , 2 "))
    write("fuzz_line_settings", "every_parity", text(0, "1200,i,5,2"))
    write("fuzz_line_settings", "mark_and_space", text(2, "300,M,6,1"))
    write("fuzz_line_settings", "empty_parity", text(0, "9600,,8,1"))
    write("fuzz_line_settings", "three_parts", text(1, "9600,e,8"))
    write("fuzz_line_settings", "zero_speed", text(0, "0,n,8,1"))


def number_conversion():
    def field(places, paste, name, typed):
        return (Input().integer(1, 6, places).flag(paste).integer(0, 4, name)
                .bytes(typed.encode("cp1252")).data())

    write("fuzz_number_conversion", "port", field(5, False, 0, "8080"))
    write("fuzz_number_conversion", "signed_blanks", field(5, True, 1, " -12 "))
    write("fuzz_number_conversion", "int16_edge", field(6, True, 2, "32768"))
    write("fuzz_number_conversion", "too_long", field(3, True, 0, "99999999999"))
    write("fuzz_number_conversion", "decimal", field(1, False, 3, "3.5"))
    write("fuzz_number_conversion", "empty", field(1, False, 3, ""))
    write("fuzz_number_conversion", "letters", field(4, False, 4, "12a"))


def log_pane():
    def pane(width, pieces):
        seed = Input().integer(1, 700, width)
        for piece in pieces:
            seed.integer(0, 64, len(piece)).bytes(piece)
        return seed.data()

    write("fuzz_log_pane", "log_lines", pane(320, [b"Cliente : hola\r\n", b"*** Desconectado\r\n"]))
    write("fuzz_log_pane", "crlf_split", pane(200, [b"abc\r", b"\nde\n\r"]))
    write("fuzz_log_pane", "words", pane(90, [b"palabra palabra palabra palabra palabra "]))
    write("fuzz_log_pane", "long_word", pane(60, [b"\r\n ", b"W" * 40]))
    write("fuzz_log_pane", "binary", pane(150, [ALL_BYTES[:64], ALL_BYTES[64:128]]))
    write("fuzz_log_pane", "narrow", pane(1, [b"ab c", b"\t\x00"]))


def session_record():
    LINE, AS_IS, UNSHOWN, CLEAR, READ_PANE, READ_ROW, COMPRESS, SNAPSHOT = range(8)
    SERVER, CLIENT, SERIAL = range(3)

    def session(steps):
        seed = Input()
        for step in steps:
            action, pane = step[0], step[1]
            seed.integer(0, 7, action).integer(0, 2, pane)
            if action in (LINE, AS_IS):
                seed.integer(0, 200, len(step[2])).bytes(step[2])
            elif action == UNSHOWN:
                seed.integer(1, 100, len(step[2])).bytes(step[2])
            elif action == READ_ROW:
                rows, row, head = step[2], step[3], step[4]
                seed.integer(0, rows - 1, row).integer(-1, 50, head)
        return seed.data()

    write("fuzz_session_record", "socket_lines",
          session([(LINE, SERVER, b"hola"), (LINE, CLIENT, b"A\r\nB"), (SNAPSHOT, SERVER),
                   (LINE, SERVER, ALL_BYTES[:150]), (COMPRESS, SERVER),
                   (READ_ROW, SERVER, 3, 2, 20)]))
    write("fuzz_session_record", "serial_characters_and_limpiar",
          session([(AS_IS, SERIAL, bytes([c])) for c in b"Conectado...."] +
                  [(SNAPSHOT, SERIAL), (CLEAR, SERIAL), (AS_IS, SERIAL, b""),
                   (AS_IS, SERIAL, b"x"), (COMPRESS, SERIAL)]))
    write("fuzz_session_record", "unshown_and_prefix_equal_chunks",
          session([(UNSHOWN, CLIENT, b"perdido"), (LINE, SERVER, b"Servidor : "),
                   (LINE, SERIAL, b""), (READ_ROW, SERVER, 3, 0, -1)]))


def socket_control():
    LISTENER, CLIENT, DATAGRAMS = 0, 1, 2

    def exchange(mode, echo, peer_leaves, pieces):
        seed = Input().integer(0, 2, mode).flag(echo).flag(peer_leaves)
        for piece, times, wait in pieces:
            seed.integer(0, 512, len(piece))
            if times > 1:
                seed.integer(0, 15, 15).integer(2, 4096, times)
            else:
                seed.integer(0, 15, 0)
            seed.flag(wait).bytes(piece)
        return seed.data()

    write("fuzz_socket_control", "listener_echo",
          exchange(LISTENER, True, True, [(b"hola", 1, True), (b"\r\n", 1, False)]))
    write("fuzz_socket_control", "listener_all_bytes",
          exchange(LISTENER, False, False, [(ALL_BYTES, 1, False), (b"\x00" * 16, 1, True)]))
    write("fuzz_socket_control", "client_peer_leaves",
          exchange(CLIENT, False, True, [(b"uno", 1, True), (b"dos", 1, True), (b"", 1, False)]))
    write("fuzz_socket_control", "client_flood",
          exchange(CLIENT, False, True, [(ALL_BYTES * 2, 4096, False)]))
    write("fuzz_socket_control", "datagrams",
          exchange(DATAGRAMS, True, False, [(b"uno", 1, False), (b"", 1, False),
                                            (ALL_BYTES, 1, True)]))
    write("fuzz_socket_control", "largest_datagram",
          exchange(DATAGRAMS, False, False, [(ALL_BYTES * 2, 128, True)]))


if __name__ == "__main__":
    codec()
    code_rows()
    line_settings()
    number_conversion()
    log_pane()
    session_record()
    socket_control()
