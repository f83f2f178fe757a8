// Stand-in product for the benchmark: ends at once with a code of its own. A detached start
// leaves it an orphan of the measuring driver (a child subreaper), which counts the starts by
// that code; a failed start ends with another code and is not counted.
int main() { return 42; }
