#!/usr/bin/env python3
"""The real launcher as a user starts it, one row of the tables in scenarios/ each (docs/testing.md
describes them). CONFIG, written by CMake, names the test launcher, stand-in product and tools;
Windows rows run the cross build under Wine, inside tests/support/wine-session.sh.

  scenarios.py CONFIG [--platform linux|windows] [WORDS...]   the rows whose names hold WORDS"""
import hashlib, json, os, re, select, shutil, signal, socket, ssl, subprocess, sys, tempfile, threading, time

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, 'data')
REQUIRED = (b'platforms', b'settings', b'server', b'exit', b'starts')
# What a row may need root for, each tried in a throw-away directory: uid 0 is not enough where a
# chroot or a container refuses part of it even to root.
ROOT_PROBES = {b'mount namespace': 'unshare -m mount -t tmpfs tmpfs .',
               b'device node': 'mknod node c 1 3',
               b'another user': 'setpriv --reuid=65534 --regid=65534 --clear-groups true',
               b'port 53': 'python3 -c \'import socket; socket.socket(socket.AF_INET, '
                           'socket.SOCK_DGRAM).bind(("127.0.0.1", 53))\''}


class Skip(Exception):  # a row whose needs are not met here
    pass


def unescaped(text):  # \t \n \r \\ \0 \xNN
    return re.sub(rb'\\(x[0-9a-fA-F]{2}|[tnr0\\])', lambda m: bytes([int(m[1][1:], 16)])
                  if m[1][:1] == b'x' else {b't': b'\t', b'n': b'\n', b'r': b'\r', b'0': b'\0',
                                            b'\\': b'\\'}[m[1]], text)


def tables(platform):
    """(name, row) for the rows that run on `platform`: keys to lists of values, with defaults."""
    for path in sorted(f for f in os.listdir(os.path.join(HERE, 'scenarios')) if f.endswith('.txt')):
        section, rows, name, row = path[:-4], [], None, {}
        for line in open(os.path.join(HERE, 'scenarios', path), 'rb').read().split(b'\n') + [b'[]']:
            if line.startswith(b'['):
                rows.append((name, row))
                name, row = line[1:-1].decode(), {}
            elif not line.startswith(b'#') and re.match(rb'[a-z ]+:( |$)', line):
                key, value = line.split(b':', 1)
                row.setdefault(key, []).append(unescaped(value[1:]).replace(b' | ', b'|'))
        defaults = dict(rows.pop(1)[1]) if rows[1:] and rows[1][0] == 'defaults' else {}
        missing = [key for key in REQUIRED if key not in defaults]
        assert not missing, f'{section} gives no default for {missing}'
        for name, row in rows[1:]:
            row = {**defaults, **row}
            if platform.encode() in row[b'platforms'][0].split(b'|'):
                yield f'{section}: {name}', row


class Server(threading.Thread):
    """The download server on 127.0.0.1: `answer` writes the response and closes, `silent` never
    answers, `stream` writes the response and then the chunk for as long as the peer reads (no
    chunk: nothing more, the connection kept open). Answers wait until `together` requests came."""

    def __init__(self, kind, response, chunk, together, tls):
        super().__init__(daemon=True)
        self.kind, self.response, self.chunk, self.together = kind, response, chunk, together
        self.listener = socket.create_server(('127.0.0.1', 0))
        self.port, self.targets, self.closed = self.listener.getsockname()[1], [], 0
        self.tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER) if tls else None
        if tls:
            self.tls.load_cert_chain(os.path.join(DATA, 'tls/server.pem'),
                                     os.path.join(DATA, 'tls/server.key'))
        self.start()

    def run(self):
        while True:
            connection, _ = self.listener.accept()
            threading.Thread(target=self.serve, args=(connection,), daemon=True).start()

    def serve(self, connection):
        try:
            if self.tls:
                connection = self.tls.wrap_socket(connection, server_side=True)
            head = b''
            while b'\r\n\r\n' not in head:
                head += connection.recv(4096) or b'\r\n\r\n'
            self.targets.append(head.split(b' ')[1] if head.count(b' ') else b'')
            while len(self.targets) < self.together:
                time.sleep(0.01)
            if self.kind == b'silent':
                return time.sleep(3600)
            connection.sendall(self.response)
            if self.kind == b'answer':
                return connection.close()
            while True:  # until the launcher ends the stream
                readable, writable, _ = select.select([connection], [connection] * bool(self.chunk),
                                                      [], 1)
                if readable and not connection.recv(4096):
                    break
                if writable:
                    connection.send(self.chunk * 64)
        except OSError:
            pass
        self.closed += 1


def contents(path):
    try:
        return open(path, 'rb').read()
    except OSError:
        return b''


def run(name, row, config, platform):
    value = lambda key, default=b'': row.get(key, [default])[0]
    listed = lambda key: value(key).split(b'|') if value(key) else []
    for need in listed(b'needs root'):
        assert need in ROOT_PROBES, f'needs root for what? {need}'
        if os.getuid() != 0:
            raise Skip('needs root: not root')
        with tempfile.TemporaryDirectory() as probe:
            tried = subprocess.run(ROOT_PROBES[need], shell=True, cwd=probe, capture_output=True)
        if tried.returncode:
            raise Skip(f'needs root: no {need.decode()}: `{ROOT_PROBES[need]}` says '
                       + (tried.stdout + tried.stderr).decode(errors='replace').strip())
    for program in listed(b'needs'):
        if not shutil.which(program.decode(), path=os.environ['PATH'] + ':/usr/sbin'):
            raise Skip(f'{program.decode()} is missing (./test.sh installs it)')

    windows = config['windows'].encode() if platform == 'windows' else b''
    top = tempfile.mkdtemp(prefix='launcher-scenario.').encode()
    root, home = os.path.join(top, value(b'subdir')).rstrip(b'/'), top + b'/.home'
    native = (lambda path: b'Z:' + path) if windows else (lambda path: path)
    for directory in (root + b'/resources', home + b'/config/Nimbrel', home + b'/run'):
        os.makedirs(directory, exist_ok=True)
    os.chmod(home + b'/run', 0o700)
    shutil.copytree((windows + b'/bin' if windows else config['bin'].encode()) + b'/resources/languages',
                    root + b'/resources/languages')
    env = {key: os.environb[key] for key in (b'PATH', b'ASAN_OPTIONS', b'LSAN_OPTIONS',
           b'UBSAN_OPTIONS', b'WINEPREFIX', b'WINEDEBUG', b'WINEDLLOVERRIDES', b'DISPLAY')
           if key in os.environb and (windows or not key.startswith(b'WINE'))}
    settings = open(os.path.join(DATA, 'settings', value(b'settings').decode() + '.ini'), 'rb').read()
    for change in listed(b'target'):  # "key =" drops one
        key, new = (part.strip() for part in change.split(b'=', 1))
        settings = re.sub(rb'(?m)^' + re.escape(key) + rb' = [^\r\n]*\r\n', b'', settings)
        settings = settings.replace(b'[target]\r\n', b'[target]\r\n' + key + b' = ' + new + b'\r\n'
                                    if new else b'[target]\r\n')
    open(home + b'/settings.ini', 'wb').write(settings)
    launcher = root + (b'/launcher.exe' if windows else b'/launcher')
    shutil.copy(windows + b'/check/launcher.exe' if windows else config['launcher'].encode(), launcher)
    if config['window_module'] and not windows:  # loaded from the launcher's directory
        os.mkdir(root + b'/lib')
        shutil.copy(config['window_module'], root + b'/lib/launcher-window.so')
    os.chmod(launcher, 0o755)
    if windows:  # started through Wine by a script of the launcher's name
        open(root + b'/launcher', 'wb').write(b'#!/bin/sh\nexec /usr/lib/wine/wine64 "$0.exe" "$@"\n')
        os.chmod(root + b'/launcher', 0o755)
        subprocess.run(['/usr/lib/wine/wine64', 'cmd', '/c', r'reg delete HKCU\Software\Nimbrel /f & '
                        r'reg delete HKLM\Software\Policies\Nimbrel /f & '
                        r'reg delete HKCU\Software\Microsoft\SystemCertificates\Root /f'],
                       capture_output=True)  # as on a new machine
    if value(b'product') != b'none':
        product = os.path.join(root, value(b'product', b'qpr.exe'))
        os.makedirs(os.path.dirname(product), exist_ok=True)
        shutil.copy(windows + b'/check/qpr.exe' if windows else config['recorder'].encode(), product)
        os.chmod(product, 0o755)
    with socket.create_server(('127.0.0.1', 0)) as free:  # nothing listens there afterwards
        port = free.getsockname()[1]
    env.update({b'HOME': home, b'XDG_CONFIG_HOME': home + b'/config', b'XDG_RUNTIME_DIR': home + b'/run',
                b'QT_QPA_PLATFORM': b'offscreen', b'LANG': b'C.UTF-8', b'L': root + b'/launcher',
                b'H': hashlib.sha256(launcher).hexdigest().encode(), b'W': windows,
                b'P': str(port).encode(), b'F': DATA.encode(), b'T': config['tree'].encode(),
                b'S': config['source'].encode(), b'LAUNCHER_TEST_ANSWER': value(b'answer'),
                b'LAUNCHER_TEST_RECORD': native(home + b'/record'),
                b'LAUNCHER_TEST_SETTINGS': native(home + b'/settings.ini')})
    processes = []

    def start(command, cwd=root):  # a shell command, or an argument vector
        process = subprocess.Popen([b'/bin/sh', b'-c', command] if isinstance(command, bytes)
                                   else command, cwd=cwd, env=env, stdout=subprocess.PIPE,
                                   stderr=subprocess.STDOUT)
        processes.append(process)
        return process

    def waited(predicate, seconds):
        deadline = time.time() + seconds
        while not predicate() and time.time() < deadline:
            time.sleep(0.05)
        return predicate()

    def stored():  # what the store (the registry on Windows) holds for en_US/quill
        if not windows:
            return subprocess.run([config['stored'], home + b'/config/Nimbrel/Update.conf',
                                   'en_US/quill/version'], capture_output=True).stdout
        found = re.search(rb'version\s+REG_(SZ|BINARY)\s+([^\r\n]*)', subprocess.run(
            ['/usr/lib/wine/wine64', 'reg', 'query', r'HKCU\Software\Nimbrel\Update\en_US\quill',
             '/v', 'version'], capture_output=True).stdout)
        if found and found[1] == b'BINARY':  # Qt's "@ByteArray(...)" of a version's UTF-16
            units = bytes.fromhex(found[2].decode()).decode('utf-16-le')[11:-1].encode('latin-1')
            return units.decode('utf-16-le').encode()
        return found[2] if found else b''

    def record():
        return contents(home + b'/record').split(b'\n')[:-1]

    def starts(expected, seconds=10):  # once `expected` came, and no stand-in still writes
        found = []

        def collect():
            found[:] = []
            for directory, _, files in os.walk(top):
                found.extend(open(os.path.join(directory, file), 'rb').read().split(b'\0')[:-1]
                             for file in files if file.endswith(b'.args'))
            return len(found) >= expected and not any(
                contents(f'/proc/{pid}/cmdline').startswith(b'/bin/sh\0' + top)
                for pid in os.listdir('/proc'))
        waited(collect, seconds)
        return sorted(found)

    try:
        for command in row.get(b'setup', []):
            done = start(command)
            assert done.wait(10) == 0, f'setup {command!r}: {done.stdout.read()!r}'
        kind = value(b'server')
        body = contents(os.path.join(root, value(b'reply file'))) or value(b'reply')
        response = value(b'response') or b'HTTP/1.1 200 X\r\nContent-Length: %d\r\nConnection: ' \
            b'close\r\n\r\n%s' % (len(body), body)
        server = Server(kind, response, value(b'chunk'), int(value(b'together', b'1')),
                        value(b'tls') == b'yes')
        if kind == b'nameserver':  # hears, never answers
            name_server = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            name_server.bind(('127.0.0.1', 53))
        expanded = lambda text: text.replace(b'$P', str(port).encode()).replace(
            b'$Q', str(server.port).encode()).replace(b'$D', root).replace(b'$F', DATA.encode())
        env[b'LAUNCHER_TEST_UPDATE_URL'] = expanded(value(b'url') or b'%s://127.0.0.1:%s/sw' % (
            b'https' if value(b'tls') == b'yes' else b'http',
            b'$Q' if kind in (b'answer', b'stream', b'silent') else b'$P'))

        # What runs first and holds the guard (or a port): until it shows its window, starts
        # the product, prints 1 or listens on $P. Ended by the signal `kill` names.
        if value(b'holder'):
            holder, said = start(value(b'holder')), []
            os.set_blocking(holder.stdout.fileno(), False)
            printed = lambda: said.append(holder.stdout.read(2) or b'') or b''.join(said).strip() == b'1'
            listens = lambda: socket.socket().connect_ex(('127.0.0.1', port)) == 0
            assert waited(lambda: record() or starts(1, 0) or printed() or listens(), 10), \
                'nothing holds the guard'
            if value(b'kill'):
                if holder.poll() is None:
                    holder.send_signal(getattr(signal, 'SIG' + value(b'kill').decode()))
                holder.wait(5)
        for setting in listed(b'env'):
            name_, _, setting_value = setting.partition(b'=')
            if b'=' in setting:
                env[name_] = expanded(setting_value)
            else:
                env.pop(name_, None)

        within = [int(bound) for bound in value(b'within', b'0-8000').split(b'-')]
        began = time.time()
        launcher_process = start(value(b'launch')) if value(b'launch') else \
            start([root + b'/launcher'] + listed(b'args'), cwd=top)
        if value(b'open'):
            assert not waited(lambda: launcher_process.poll() is not None, 1.5), \
                'the window did not stay open'
        else:
            assert waited(lambda: launcher_process.poll() is not None, max(15, within[1] / 1000)), \
                'it did not end'
            if value(b'launch') and launcher_process.returncode == 77:  # cannot run here
                raise Skip(launcher_process.stdout.read().decode(errors='replace').strip())
            took = (time.time() - began) * 1000
            assert within[0] <= took <= within[1], f'took {took:.0f} ms'
            assert launcher_process.returncode == int(value(b'exit')), \
                f'exit code {launcher_process.returncode}'
        if value(b'closed'):
            assert waited(lambda: server.closed > 0, 3), 'the stream is still read'
        os.set_blocking(launcher_process.stdout.fileno(), False)  # a window may still be open
        output = (launcher_process.stdout.read() or b'').decode(errors='replace')
        assert re.fullmatch(value(b'output').decode(), output, re.S), f'output {output!r}'
        expected = sorted(start.replace(b'$E', b'.exe' if windows else b'').split(b'|')
                          for start in row[b'starts'] if start != b'none')
        assert starts(len(expected)) == expected, f'started {starts(0)!r}, not {expected!r}'
        patterns = [pattern for pattern in row.get(b'record', []) if pattern]
        matches = lambda: len(record()) == len(patterns) and all(
            re.fullmatch(p, line) for p, line in zip(patterns, record()))
        assert waited(matches, 3), f'record {record()!r}'
        if value(b'asked'):
            assert server.targets[:1] == [value(b'asked')], f'asked {server.targets!r}'
        if value(b'requests'):
            assert len(server.targets) == int(value(b'requests')), f'requests {server.targets!r}'
        if not row.get(b'check'):  # the store may be anything that the check looks at
            assert re.fullmatch(value(b'stored'), stored(), re.S), f'stored {stored()!r}'
        for command in row.get(b'check', []):
            assert start(command).wait(10) == 0, f'check failed: {command!r}'
    finally:
        for process in processes:  # asked first, so that a launcher takes its guard's files along
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(2)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        shutil.rmtree(top, ignore_errors=True)


def main():
    config, arguments = json.load(open(sys.argv[1])), sys.argv[2:]
    platform = 'linux'
    if arguments[:1] == ['--platform']:
        platform, arguments = arguments[1], arguments[2:]
    failed = passed = skipped = 0
    for name, row in tables(platform):
        if not all(word in name for word in arguments):
            continue
        try:
            run(name, row, config, platform)
            print(f'PASS  {name}', flush=True)
            passed += 1
        except Skip as reason:
            print(f'SKIP  {name}: {reason}', flush=True)
            skipped += 1
        except (AssertionError, OSError, subprocess.SubprocessError) as reason:
            print(f'FAIL  {name}: {reason}', flush=True)
            failed += 1
    print(f'{passed} passed, {failed} failed, {skipped} skipped')
    sys.exit(1 if failed or not passed else 0)


if __name__ == '__main__':
    main()
